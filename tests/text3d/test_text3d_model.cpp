// The 3D text control's paging, animation and layout, stepped frame by frame
// without a screen: the frames' OpenGL calls go to a recorder.
#include "CallRecorder.h"
#include "Cp1251.h"
#include "FontFaces.h"
#include "GlyphOutlines.h"
#include "Text3D.h"
#include "Unit2.h"

#include <QApplication>
#include <QFontMetrics>
#include <QPointer>

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>

namespace {

// A control whose frames are recorded: one of its own, with no animations
// unless a test sets them, or another's with its settings as they are.
struct RecordedControl {
    std::unique_ptr<TText3D> Owned;
    TText3D &Control;
    TCallRecorder Recorder;

    explicit RecordedControl(const QStringList &items) : RecordedControl(std::make_unique<TText3D>())
    {
        Control.SetItems(items);
        Control.SetAnimationSet({});
    }
    explicit RecordedControl(TText3D &control) : Control(control) { Control.SetCalls(&Recorder); }

    void Frame()
    {
        Recorder.Reset();
        Control.RenderFrame();
    }

    // Steps until the phase is `phase`; false if that takes more than `limit` frames.
    bool StepUntil(TChangePhase phase, int limit = 100000)
    {
        for (int k = 0; k < limit; ++k) {
            if (Control.ChangePhase() == phase)
                return true;
            Frame();
        }
        return false;
    }

    // The frames drawn until the phase leaves cpShow, in which FrameCount grows.
    int ShownFrames()
    {
        int frames = 0;
        while (Control.ChangePhase() == cpShow) {
            const int before = Control.FrameCount();
            Frame();
            frames += Control.FrameCount() > before;
        }
        return frames;
    }

private:
    explicit RecordedControl(std::unique_ptr<TText3D> owned) : Owned(std::move(owned)), Control(*Owned)
    {
        Control.SetCalls(&Recorder);
    }
};

// A letter's glyph origin in text units, for a scene without tilt or turn:
// the frame translates by (0, 0, -3) and scales by 0.08.
QVector3D TextUnits(const TCallRecorder::Letter &letter)
{
    const QVector3D world = letter.Matrix.map(QVector3D(0, 0, -0.5f)); // the letter's own z = 0
    return QVector3D(world.x() / 0.08f, world.y() / 0.08f, (world.z() + 3) / 0.08f);
}

int MeasuredWidth(const TText3D &control, QChar ch)
{
    return QFontMetrics(control.MeasureFont()).horizontalAdvance(ch);
}

int MeasuredWidth(const TText3D &control, const QString &text)
{
    return QFontMetrics(control.MeasureFont()).horizontalAdvance(text);
}

TEST(Text3DModel, EnumerationsAndSetsKeepTheirOrdinalsAndBits)
{
    static_assert(sizeof(TAnimationSet) == 1);
    EXPECT_EQ(int(csDiffusion), 8);
    EXPECT_EQ(int(atRotation), 6);
    EXPECT_EQ(int(cpDisappear), 2);
    EXPECT_EQ((TAnimationSet{atFixedRotation}.Bits()), 0x01);
    EXPECT_EQ((TAnimationSet{atHorSingleWave}.Bits()), 0x10);
    EXPECT_EQ((TAnimationSet{atSingleWave, atRotation}.Bits()), 0x48);
    TAnimationSet set = TAnimationSet::FromBits(0x7F);
    set.Exclude(atWave);
    EXPECT_FALSE(set.Contains(atWave));
    EXPECT_TRUE(set.Contains(atZoomWave));
}

// Three lines, two a page, each page shown for 3000 ms in frames of 10 ms. A
// page ends at the first frame whose count, taken before the frame adds to
// it, is past the page's time: the first page after 301 frames; the count
// runs on over the pass, so the second takes 300.
void ExpectThreeLinesPagedEveryThreeSeconds(RecordedControl &r)
{
    EXPECT_EQ(r.Control.RefreshTimer().interval(), 10);
    int changes = 0;
    r.Control.SetOnLinesChanging([&](QObject *sender) {
        EXPECT_EQ(sender, &r.Control);
        ++changes;
    });
    ASSERT_TRUE(r.StepUntil(cpShow));
    EXPECT_EQ(r.Control.RowsShown(), 2);
    EXPECT_EQ(r.ShownFrames(), 301);
    EXPECT_EQ(r.Control.ChangePhase(), cpDisappear);
    EXPECT_EQ(changes, 0);

    ASSERT_TRUE(r.StepUntil(cpAppear));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(r.Control.FirstRow(), 2);
    ASSERT_TRUE(r.StepUntil(cpShow));
    EXPECT_EQ(r.ShownFrames(), 300);
    EXPECT_EQ(r.Control.RowsShown(), 1);
    ASSERT_TRUE(r.StepUntil(cpAppear));
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(r.Control.FirstRow(), 0);
    EXPECT_EQ(r.Control.FrameCount(), 0);
}

} // namespace

TEST(Text3DModel, PagesOfThreeLinesKeepTheirTimeAndWrap)
{
    RecordedControl r({"one", "two", "three"});
    ExpectThreeLinesPagedEveryThreeSeconds(r);
}

TEST(AboutBox, TextPagesItsThreeLinesEveryThreeSeconds)
{
    TAboutBox box;
    RecordedControl r(*box.Text3D1);
    ExpectThreeLinesPagedEveryThreeSeconds(r);
}

TEST(Text3DModel, TransitionsTakeFortyFramesAndAPageThatFitsNeverPages)
{
    RecordedControl r({"one", "two"});
    int changes = 0;
    r.Control.SetOnLinesChanging([&](QObject *) { ++changes; });
    for (int k = 0; k < 39; ++k)
        r.Frame();
    EXPECT_EQ(r.Control.ChangePhase(), cpAppear);
    r.Frame();
    EXPECT_EQ(r.Control.ChangePhase(), cpShow);
    EXPECT_EQ(r.Control.StepCount(), 0);
    for (int k = 0; k < 2000; ++k)
        r.Frame();
    EXPECT_EQ(r.Control.ChangePhase(), cpShow);
    EXPECT_EQ(r.Control.FrameCount(), 2000);
    EXPECT_EQ(changes, 0);
}

TEST(Text3DModel, ZeroNewRowDelayNeverPages)
{
    RecordedControl r({"one", "two", "three"});
    r.Control.SetNewRowDelay(0);
    ASSERT_TRUE(r.StepUntil(cpShow));
    for (int k = 0; k < 1000; ++k)
        r.Frame();
    EXPECT_EQ(r.Control.ChangePhase(), cpShow);
    EXPECT_EQ(r.Control.FirstRow(), 0);
}

TEST(Text3DModel, SwitchShowsTwoEmptyFramesAndRaisesTheChangeInTheFirst)
{
    RecordedControl r({"one", "two", "three"});
    r.Control.SetChangeStyle(csSwitch);
    r.Control.SetNewRowDelay(100); // ten frames a page
    int changes = 0;
    r.Control.SetOnLinesChanging([&](QObject *) { ++changes; });
    r.Frame(); // the switch in: background only
    EXPECT_TRUE(r.Recorder.Letters.empty());
    EXPECT_EQ(r.Recorder.Swaps, 1);
    EXPECT_EQ(r.Control.ChangePhase(), cpShow);
    for (int k = 0; k < 11; ++k) {
        r.Frame();
        EXPECT_EQ(r.Recorder.Letters.size(), 6u) << "frame " << k;
    }
    r.Frame(); // the page's time is up: the switch out
    EXPECT_TRUE(r.Recorder.Letters.empty());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(r.Control.FirstRow(), 2);
    r.Frame(); // the switch in
    EXPECT_TRUE(r.Recorder.Letters.empty());
    r.Frame();
    EXPECT_EQ(r.Recorder.Letters.size(), 5u);
}

TEST(Text3DModel, SingleWavePassOfATenCharacterPageLasts361Steps)
{
    RecordedControl r({"0123456789"});
    r.Control.SetAnimationSet({atSingleWave});
    r.Control.SetChangeStyle(csSwitch);
    std::vector<int> cycleFrames;
    int frame = 0;
    bool timerOffInHandler = false;
    r.Control.SetOnAnimateCycleDone([&](QObject *) {
        cycleFrames.push_back(frame);
        timerOffInHandler = !r.Control.RefreshTimerEnabled();
    });
    r.Control.SetActive(true); // no OpenGL here, but the timer runs
    ASSERT_TRUE(r.StepUntil(cpShow));
    for (frame = 1; frame <= 800; ++frame)
        r.Frame();
    ASSERT_EQ(cycleFrames.size(), 2u);
    EXPECT_EQ(cycleFrames[0], 361);
    EXPECT_EQ(cycleFrames[1], 722);
    EXPECT_TRUE(timerOffInHandler);
    EXPECT_TRUE(r.Control.RefreshTimerEnabled());
    // The line is drawn with four spaces on each side.
    EXPECT_EQ(r.Recorder.Letters.size(), 18u);
    EXPECT_EQ(r.Recorder.Letters.front().Code, ' ');
    EXPECT_EQ(r.Recorder.Letters[4].Code, '0');
}

TEST(Text3DModel, SingleWaveCountsOncePerLineOnThePage)
{
    RecordedControl r({"0123456789", "abc"});
    r.Control.SetAnimationSet({atSingleWave});
    r.Control.SetChangeStyle(csSwitch);
    r.Control.SetNewRowDelay(0);
    int cycles = 0;
    r.Control.SetOnAnimateCycleDone([&](QObject *) { ++cycles; });
    ASSERT_TRUE(r.StepUntil(cpShow));
    r.Frame();
    EXPECT_EQ(r.Control.StepCount(), 2);
    int frames = 1;
    while (cycles == 0 && frames < 1000) {
        r.Frame();
        ++frames;
    }
    EXPECT_EQ(frames, 181); // the 361st step falls on the first line of frame 181
    EXPECT_EQ(r.Control.StepCount(), 1);
}

TEST(Text3DModel, AssigningItemsRestartsThePagingButKeepsThePhase)
{
    RecordedControl r({"one", "two", "three"});
    r.Control.SetAnimationSet({atSingleWave});
    ASSERT_TRUE(r.StepUntil(cpDisappear));
    ASSERT_TRUE(r.StepUntil(cpShow));
    for (int k = 0; k < 5; ++k)
        r.Frame();
    ASSERT_EQ(r.Control.FirstRow(), 2);
    const int steps = r.Control.StepCount();
    r.Control.SetItems({"a", "b", "c", "d"});
    EXPECT_EQ(r.Control.FirstRow(), 0);
    EXPECT_EQ(r.Control.FrameCount(), 0);
    EXPECT_EQ(r.Control.ChangePhase(), cpShow);
    EXPECT_EQ(r.Control.StepCount(), steps);
    // Its own list keeps its lines.
    r.Control.SetItems(r.Control.Items());
    EXPECT_EQ(r.Control.Items().size(), 4);
}

TEST(Text3DModel, AnEmptyListFreezesThePictureAndNewLinesStartAtTheLast)
{
    RecordedControl r({"one", "two", "three"});
    ASSERT_TRUE(r.StepUntil(cpShow));
    r.Control.Items().clear();
    r.Frame();
    EXPECT_TRUE(r.Recorder.Calls.empty());
    r.Control.Items() << "x" << "y" << "z";
    r.Frame();
    EXPECT_EQ(r.Control.FirstRow(), 2);
    ASSERT_EQ(r.Recorder.Letters.size(), 1u);
    EXPECT_EQ(r.Recorder.Letters.front().Code, 'z');
}

TEST(Text3DModel, DivisorsOfZeroSkipTheFrame)
{
    RecordedControl r({"one", "two"});
    r.Control.SetFontSize(0);
    r.Frame();
    EXPECT_TRUE(r.Recorder.Calls.empty());
    EXPECT_EQ(r.Control.StepCount(), 0);
    r.Control.SetFontSize(40);
    r.Control.SetLiteraDepth(0);
    r.Frame();
    EXPECT_TRUE(r.Recorder.Calls.empty());
    r.Control.SetLiteraDepth(1.5f);
    r.Control.SetLinesCount(0);
    r.Frame();
    EXPECT_TRUE(r.Recorder.Calls.empty());
    r.Control.SetLinesCount(2);
    r.Control.resize(300, 0);
    r.Frame();
    EXPECT_TRUE(r.Recorder.Calls.empty());
    r.Control.resize(300, 120);
    r.Frame();
    EXPECT_EQ(r.Recorder.Swaps, 1);
}

TEST(Text3DModel, FrameClearsBeforeSettingTheClearColourAndKeepsTheStackBalanced)
{
    RecordedControl r({"one", "two"});
    r.Control.SetBackColor(0x00336699);
    r.Control.SetFontColor(0x000080FF);
    r.Control.SetLightIntensity(255);
    r.Control.SetAnimationSet(TAnimationSet::FromBits(0x7F));
    r.Frame();
    ASSERT_GE(r.Recorder.Calls.size(), 3u);
    EXPECT_EQ(r.Recorder.Calls[0], QStringLiteral("Clear"));
    EXPECT_EQ(r.Recorder.Calls[2], QStringLiteral("ClearColor"));
    EXPECT_FLOAT_EQ(r.Recorder.ClearRgba[0], 0x99 / 255.0f);
    EXPECT_FLOAT_EQ(r.Recorder.ClearRgba[2], 0x33 / 255.0f);
    EXPECT_FLOAT_EQ(r.Recorder.ClearRgba[3], 0.0f);
    EXPECT_FLOAT_EQ(r.Recorder.MaterialRgba[0], 1.0f);
    EXPECT_NEAR(r.Recorder.MaterialRgba[1], 128 / 255.0f, 1e-6);
    EXPECT_FLOAT_EQ(r.Recorder.MaterialRgba[2], 0.0f);
    EXPECT_EQ(r.Recorder.Calls.back(), QStringLiteral("SwapBuffers"));
    EXPECT_EQ(r.Recorder.Depth, 0);
    ASSERT_TRUE(r.StepUntil(cpShow));
    r.Frame();
    EXPECT_EQ(r.Recorder.Depth, 0);
    EXPECT_LE(r.Recorder.MaxDepth, 3); // identity, frame, line, letter

    r.Control.SetLightIntensity(0);
    r.Frame();
    EXPECT_FLOAT_EQ(r.Recorder.MaterialRgba[0], 0.0f);
    EXPECT_FLOAT_EQ(r.Recorder.MaterialRgba[3], 1.0f);
}

TEST(Text3DModel, LinesOfAPageSitAtTheirHeightsAndAreCentred)
{
    RecordedControl r({"AB", "W"});
    r.Control.SetLiterasGap(2.0f);
    ASSERT_TRUE(r.StepUntil(cpShow));
    r.Frame();
    ASSERT_EQ(r.Recorder.Letters.size(), 3u);
    EXPECT_NEAR(TextUnits(r.Recorder.Letters[0]).y(), 1.5, 1e-4);
    EXPECT_NEAR(TextUnits(r.Recorder.Letters[2]).y(), -3.5, 1e-4);

    const double gap = 40 / 40.0 * 2.0;
    const double widthAB = 0.08 * MeasuredWidth(r.Control, QStringLiteral("AB")) + gap;
    EXPECT_NEAR(TextUnits(r.Recorder.Letters[0]).x(), -widthAB / 2, 1e-4);
    EXPECT_NEAR(TextUnits(r.Recorder.Letters[1]).x(),
                -widthAB / 2 + 0.08 * MeasuredWidth(r.Control, QChar('A')) + gap, 1e-4);
    // One character: centred on its measured width alone.
    EXPECT_NEAR(TextUnits(r.Recorder.Letters[2]).x(), -0.08 * MeasuredWidth(r.Control, QChar('W')) / 2, 1e-4);
    // The glyph's em square is FontSize x 0.125 text units, its depth LiteraDepth.
    const QMatrix4x4 &m = r.Recorder.Letters[0].Matrix;
    EXPECT_NEAR(m.map(QVector3D(1, 0, 0)).x() - m.map(QVector3D(0, 0, 0)).x(), 0.08 * 5.0, 1e-5);
    EXPECT_NEAR(m.map(QVector3D(0, 0, 0)).z() - m.map(QVector3D(0, 0, -1)).z(), 0.08 * 1.5, 1e-5);
    EXPECT_NEAR(TextUnits(r.Recorder.Letters[0]).z(), 0, 1e-4);
}

TEST(Text3DModel, OffsetsAndScaleMoveTheWholeScene)
{
    RecordedControl r({"A"});
    r.Control.SetLinesCount(1);
    r.Control.SetLeftOffset(3);
    r.Control.SetTopOffset(2);
    r.Control.SetScale(2);
    ASSERT_TRUE(r.StepUntil(cpShow));
    r.Frame();
    ASSERT_EQ(r.Recorder.Letters.size(), 1u);
    const QVector3D origin = r.Recorder.Letters[0].Matrix.map(QVector3D(0, 0, -0.5f));
    const double x = -0.08 * MeasuredWidth(r.Control, QChar('A')) / 2;
    EXPECT_NEAR(origin.x(), 0.16 * (x - 3), 1e-5);
    EXPECT_NEAR(origin.y(), 0.16 * (-1 + 2), 1e-5);
}

TEST(Text3DModel, ChangeStylesMoveLinesAndLettersByTheirStep)
{
    struct Case {
        TChangeStyle Style;
        double Dx1, Dy1, Dx2, Dy2; // the offsets of lines 1 and 2 per unit of d
    };
    const Case incomingCases[] = {
        {csRightToLeft, 1, 0, 1, 0},  {csLeftToRight, -1, 0, -1, 0}, {csLeftAndRight, -1, 0, 1, 0},
        {csBottomToTop, 0, -1, 0, -1}, {csTopToBottom, 0, 1, 0, 1},   {csTopAndBottom, 0, -1, 0, 1},
    };
    const Case outgoingCases[] = {
        {csRightToLeft, -1, 0, -1, 0}, {csLeftToRight, 1, 0, 1, 0}, {csLeftAndRight, -1, 0, 1, 0},
        {csBottomToTop, 0, 1, 0, 1},   {csTopToBottom, 0, -1, 0, -1}, {csTopAndBottom, 0, 1, 0, -1},
    };
    const QStringList items{"AB", "CD", "EF"};
    auto firstLetters = [](const TCallRecorder &recorder) {
        return std::pair{TextUnits(recorder.Letters[0]), TextUnits(recorder.Letters[2])};
    };
    for (const Case &c : incomingCases) {
        RecordedControl r(items);
        r.Control.SetChangeStyle(c.Style);
        r.Frame(); // step 1: d = 39
        ASSERT_EQ(r.Recorder.Letters.size(), 4u);
        const auto [line1, line2] = firstLetters(r.Recorder);
        const double x1 = -(0.08 * MeasuredWidth(r.Control, QStringLiteral("AB")) + 0) / 2;
        const double x2 = -(0.08 * MeasuredWidth(r.Control, QStringLiteral("CD")) + 0) / 2;
        EXPECT_NEAR(line1.x(), x1 + 39 * c.Dx1, 1e-3) << int(c.Style);
        EXPECT_NEAR(line1.y(), 1.5 + 39 * c.Dy1, 1e-3) << int(c.Style);
        EXPECT_NEAR(line2.x(), x2 + 39 * c.Dx2, 1e-3) << int(c.Style);
        EXPECT_NEAR(line2.y(), -3.5 + 39 * c.Dy2, 1e-3) << int(c.Style);
    }
    for (const Case &c : outgoingCases) {
        RecordedControl r(items);
        r.Control.SetChangeStyle(c.Style);
        r.Control.SetNewRowDelay(10);
        ASSERT_TRUE(r.StepUntil(cpDisappear)); // that frame was step 1
        for (int k = 0; k < 9; ++k)
            r.Frame(); // step 10: d = 10
        ASSERT_EQ(r.Recorder.Letters.size(), 4u);
        const auto [line1, line2] = firstLetters(r.Recorder);
        const double x1 = -(0.08 * MeasuredWidth(r.Control, QStringLiteral("AB"))) / 2;
        EXPECT_NEAR(line1.x(), x1 + 10 * c.Dx1, 1e-3) << int(c.Style);
        EXPECT_NEAR(line1.y(), 1.5 + 10 * c.Dy1, 1e-3) << int(c.Style);
        EXPECT_NEAR(line2.y(), -3.5 + 10 * c.Dy2, 1e-3) << int(c.Style);
    }
}

TEST(Text3DModel, TransitionLettersAdvanceByTheirGlyphAndTheUnscaledGap)
{
    RecordedControl r({"AЯяB"});
    r.Control.SetChangeStyle(csRightToLeft);
    r.Control.SetLiterasGap(1.0f);
    r.Control.SetFontSize(80);
    r.Recorder.Advance = [](unsigned char code) { return code == 223 ? 0.75f : 0.5f; };
    r.Frame();
    ASSERT_EQ(r.Recorder.Letters.size(), 4u);
    const double em = 80 * 0.125;
    const auto x = [&](int k) { return TextUnits(r.Recorder.Letters[size_t(k)]).x(); };
    EXPECT_NEAR(x(1) - x(0), 0.5 * em + 1.0, 1e-3);
    EXPECT_NEAR(x(2) - x(1), 0.75 * em + 1.0, 1e-3);
    // The small ya is the capital at 70 %, and moves on by 70 % of its advance.
    EXPECT_EQ(r.Recorder.Letters[2].Code, 223);
    EXPECT_NEAR(x(3) - x(2), 0.7 * 0.75 * em + 1.0, 1e-3);
    const QMatrix4x4 &capital = r.Recorder.Letters[1].Matrix;
    const QMatrix4x4 &small = r.Recorder.Letters[2].Matrix;
    EXPECT_NEAR(small(1, 1) / capital(1, 1), 0.7, 1e-6);
    EXPECT_NEAR(small(2, 2) / capital(2, 2), 1.0, 1e-6);
}

TEST(Text3DModel, LetterMovementsOfTheLetterStyles)
{
    const QStringList items{"ABCD", "E", "F"};
    {
        RecordedControl r(items);
        r.Control.SetChangeStyle(csLiterasUpDown);
        for (int k = 0; k < 5; ++k)
            r.Frame(); // incoming step 5
        ASSERT_EQ(r.Recorder.Letters.size(), 5u);
        EXPECT_NEAR(TextUnits(r.Recorder.Letters[0]).y(), 1.5 - 35, 1e-3); // odd letters from below
        EXPECT_NEAR(TextUnits(r.Recorder.Letters[1]).y(), 1.5 + 35, 1e-3); // even ones from above
    }
    {
        RecordedControl r(items);
        r.Control.SetChangeStyle(csDiffusion);
        for (int k = 0; k < 7; ++k)
            r.Frame(); // incoming step 7
        for (int i = 1; i <= 4; ++i) {
            const double e = std::sin((i + 5 + 7) * std::numbers::pi / 8) * (40 - 7) * 0.1;
            EXPECT_NEAR(TextUnits(r.Recorder.Letters[size_t(i - 1)]).y(), 1.5 + e, 1e-3) << i;
        }
        r.Control.SetNewRowDelay(10);
        ASSERT_TRUE(r.StepUntil(cpDisappear));
        for (int k = 0; k < 2; ++k)
            r.Frame(); // outgoing step 3 (the switching frame was step 1)
        const double e = std::sin((2 + 5 + 3) * std::numbers::pi / 8) * 3 * -0.1;
        EXPECT_NEAR(TextUnits(r.Recorder.Letters[1]).y(), 1.5 + e, 1e-3);
    }
}

TEST(Text3DModel, SingleWaveFamilyMovesTheFiveLetterWindow)
{
    RecordedControl r({"ABCDEFGHIJ"});
    r.Control.SetLinesCount(1);
    r.Control.SetChangeStyle(csSwitch);
    r.Control.SetNewRowDelay(0);
    r.Control.SetAnimationSet({atSingleWave});
    ASSERT_TRUE(r.StepUntil(cpShow));
    for (int k = 0; k < 47; ++k)
        r.Frame(); // StepCount 47: g = 2, m = 7; letters 1 to 5 move
    ASSERT_EQ(r.Control.StepCount(), 47);
    for (int i = 1; i <= 18; ++i) {
        const double y = TextUnits(r.Recorder.Letters[size_t(i - 1)]).y() + 1; // rest at -1
        const bool moves = i >= 1 && i <= 5;
        const double rise = moves ? std::sin((36.0 * (2 - i + 3) + 1.8 * 7) * std::numbers::pi / 180) * 2 * 0.3 : 0;
        EXPECT_NEAR(y, rise, 1e-4) << i;
    }
}

TEST(Text3DModel, RotationTurnsALetterAboutItsOwnCentre)
{
    RecordedControl still({"ABCDEFGH"});
    RecordedControl turning({"ABCDEFGH"});
    for (RecordedControl *r : {&still, &turning}) {
        r->Control.SetLinesCount(1);
        r->Control.SetChangeStyle(csSwitch);
        r->Control.SetNewRowDelay(0);
        r->Control.SetAnimationSet({atRotation});
        ASSERT_TRUE(r->StepUntil(cpShow));
        for (int k = 0; k < 112; ++k)
            r->Frame();
    }
    // Letter 6 of the padded line ('B', k = 2) turns by 72 x 2 + 3.6 x 13 degrees.
    still.Control.SetAnimationSet({atSingleWave}); // padded the same, but at rest
    still.Control.SetWaveAmplitude(0);
    still.Frame();
    turning.Frame(); // StepCount 113: g = 5, m = 13
    ASSERT_EQ(turning.Control.StepCount(), 113);
    const int index = 5;
    const double w = MeasuredWidth(turning.Control, QChar('B'));
    const double em = 40 * 0.125;
    const QVector3D centre(float(0.08 * w / 2 / em), 0, -0.5f); // in the list's units
    const QVector3D edge(0, 0, -0.5f);
    const QMatrix4x4 &a = still.Recorder.Letters[index].Matrix;
    const QMatrix4x4 &b = turning.Recorder.Letters[index].Matrix;
    EXPECT_NEAR((a.map(centre) - b.map(centre)).length(), 0, 1e-5);
    const QVector3D armStill = a.map(edge) - a.map(centre);
    const QVector3D armTurned = b.map(edge) - b.map(centre);
    const double angle = std::atan2(-armTurned.z(), armTurned.x()) - std::atan2(-armStill.z(), armStill.x());
    const double expected = (72.0 * 2 + 3.6 * 13) * std::numbers::pi / 180;
    EXPECT_NEAR(std::remainder(angle - expected, 2 * std::numbers::pi), 0, 1e-4);
}

TEST(Text3DModel, WholeLineWavesAndFixedRotationFollowTheFrameCount)
{
    RecordedControl r({"AB"});
    r.Control.SetLinesCount(1);
    r.Control.SetChangeStyle(csSwitch);
    r.Control.SetNewRowDelay(0);
    r.Control.SetAnimationSet({atWave});
    ASSERT_TRUE(r.StepUntil(cpShow));
    for (int k = 0; k < 25; ++k)
        r.Frame();
    ASSERT_EQ(r.Control.FrameCount(), 25);
    EXPECT_NEAR(TextUnits(r.Recorder.Letters[1]).y() + 1, std::sin(2.5 + 2) * 0.3, 1e-4);

    r.Control.SetAnimationSet({atFixedRotation});
    for (int k = 0; k < 125; ++k)
        r.Frame(); // FrameCount 150 of a 600-frame turn: a quarter
    const QMatrix4x4 &m = r.Recorder.Letters[0].Matrix;
    const QVector3D xAxis = m.map(QVector3D(1, 0, 0)) - m.map(QVector3D(0, 0, 0));
    EXPECT_NEAR(xAxis.x(), 0, 1e-4);
    EXPECT_LT(xAxis.z(), 0);
}

TEST(Text3DModel, ProjectionFollowsTheVisionAngleWhileActive)
{
    TText3D control;
    TCallRecorder recorder;
    control.SetCalls(&recorder);
    control.resize(400, 100);
    control.SetVisionAngle(45);
    EXPECT_TRUE(recorder.Calls.empty()); // inactive: nothing to project
    control.SetRefreshDelay(0);
    control.SetActive(true);
    recorder.Reset();
    control.SetVisionAngle(50);
    EXPECT_DOUBLE_EQ(recorder.PerspectiveArgs[0], 50);
    EXPECT_DOUBLE_EQ(recorder.PerspectiveArgs[1], 4.0);
    EXPECT_DOUBLE_EQ(recorder.PerspectiveArgs[2], 1.0);
    EXPECT_DOUBLE_EQ(recorder.PerspectiveArgs[3], 15.0);
    EXPECT_EQ(recorder.ViewportArgs[2], 400);
    EXPECT_EQ(recorder.Calls.back(), QStringLiteral("MatrixMode(ModelView)"));
}

TEST(Text3DModel, RefreshTimerFollowsActivationAndDelay)
{
    TText3D control;
    control.SetActive(true);
    EXPECT_TRUE(control.RefreshTimer().isActive());
    EXPECT_EQ(control.RefreshTimer().interval(), 10);
    control.SetRefreshDelay(0);
    EXPECT_FALSE(control.RefreshTimer().isActive()); // no ticks at all
    control.SetRefreshDelay(25);
    EXPECT_TRUE(control.RefreshTimer().isActive());
    EXPECT_EQ(control.RefreshTimer().interval(), 25);
    control.SetActive(false);
    EXPECT_FALSE(control.RefreshTimer().isActive());
    EXPECT_FALSE(control.Active());
    control.SetActive(false); // harmless twice
    EXPECT_EQ(control.GLView(), nullptr);
}

TEST(Text3DModel, HandlersThatDeactivateOrDestroyTheControlEndTheFrameSafely)
{
    {
        RecordedControl r({"one", "two", "three"});
        r.Control.SetChangeStyle(csRightToLeft);
        r.Control.SetNewRowDelay(10);
        r.Control.SetActive(true);
        r.Control.SetOnLinesChanging([&](QObject *) { r.Control.SetActive(false); });
        ASSERT_TRUE(r.StepUntil(cpDisappear));
        ASSERT_TRUE(r.StepUntil(cpAppear));
        EXPECT_FALSE(r.Control.Active());
        EXPECT_FALSE(r.Control.RefreshTimer().isActive()); // not enabled again behind its back
        EXPECT_EQ(r.Control.FirstRow(), 2);                  // the page change still completes
    }
    {
        TCallRecorder recorder;
        auto *control = new TText3D;
        QPointer<TText3D> guard(control);
        control->SetCalls(&recorder);
        control->SetItems({"0"});
        control->SetAnimationSet({atSingleWave});
        control->SetChangeStyle(csSwitch);
        control->SetOnAnimateCycleDone([](QObject *sender) { delete sender; });
        for (int k = 0; k < 400 && guard; ++k)
            control->RenderFrame();
        EXPECT_TRUE(guard.isNull());
    }
}

TEST(Text3DModel, MeasuringFontFollowsTheSettersAndPainting)
{
    TText3D control;
    QFont ordinary(QStringLiteral("Liberation Serif"));
    ordinary.setPointSize(9);
    control.setFont(ordinary);
    control.SetFontName(QStringLiteral("Liberation Mono"));
    EXPECT_EQ(control.MeasureFont().family(), QStringLiteral("Liberation Mono"));
    control.SetFontSize(20);
    EXPECT_EQ(control.MeasureFont().pixelSize(), 27); // 20 points at 96 dpi
    control.SetFontStyle({fsBold, fsItalic});
    EXPECT_TRUE(control.MeasureFont().bold());
    control.SetFontCharset(204);
    EXPECT_EQ(control.MeasureFontCharset(), 204);

    // Painting puts in the ordinary font and then only its size back.
    QImage canvas(control.size(), QImage::Format_ARGB32);
    control.render(&canvas);
    EXPECT_EQ(control.MeasureFont().family(), QStringLiteral("Liberation Serif"));
    EXPECT_FALSE(control.MeasureFont().bold());
    EXPECT_EQ(control.MeasureFontSize(), 20);
    EXPECT_EQ(control.MeasureFont().pixelSize(), 27);
    EXPECT_EQ(control.MeasureFontCharset(), TText3D::DefaultCharset);
    EXPECT_EQ(control.FontName(), QStringLiteral("Liberation Mono"));
    EXPECT_EQ(control.FontStyle(), (TFontStyles{fsBold, fsItalic}));
}

TEST(Cp1251, ConvertsTextAndMarksWhatItCannotHold)
{
    const QByteArray codes = Cp1251::FromUnicode(u"Ая€ё漢😀");
    ASSERT_EQ(codes.size(), 6);
    EXPECT_EQ(static_cast<unsigned char>(codes[0]), 0xC0);
    EXPECT_EQ(static_cast<unsigned char>(codes[1]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(codes[2]), 0x88);
    EXPECT_EQ(static_cast<unsigned char>(codes[3]), 0xB8);
    EXPECT_EQ(codes[4], '?');
    EXPECT_EQ(codes[5], '?');
    EXPECT_EQ(Cp1251::ToUnicode(QByteArray("\xC0\xFF", 2)), QStringLiteral("Ая"));
}

TEST(FontFaces, FaceNamesAreCutAndMappedToFacesThatExist)
{
    const QString longName(40, QChar('x'));
    EXPECT_EQ(FontFaces::Resolve(longName), QString(31, QChar('x')));
    EXPECT_EQ(FontFaces::Resolve(QStringLiteral("Arial Cyr")), QStringLiteral("Arial"));
    EXPECT_EQ(FontFaces::Resolve(QStringLiteral("MS Sans Serif")), QStringLiteral("Arial"));
    EXPECT_EQ(FontFaces::Resolve(QStringLiteral("Liberation Sans")), QStringLiteral("Liberation Sans"));
    EXPECT_EQ(FontFaces::WritingSystemOf(204), QFontDatabase::Cyrillic);
}

TEST(GlyphOutlines, SolidsHaveHolesWallsAndAdvances)
{
    const QRawFont font = MakeGlyphFont({QStringLiteral("Arial Cyr"), 1, false, false, 28});
    ASSERT_TRUE(font.isValid());
    const std::vector<TGlyphSolid> fastest = BuildGlyphSolids(font, 'O', 1, 1000.0);
    const std::vector<TGlyphSolid> best = BuildGlyphSolids(font, 'O', 1, 0.0);
    ASSERT_EQ(fastest.size(), 1u);
    const auto contours = FlattenGlyph(font, font.glyphIndexesForString("O").first(), 0.0);
    ASSERT_EQ(contours.size(), 2u); // the outline and the hole
    EXPECT_GT(best[0].Walls.size(), 2 * fastest[0].Walls.size());

    // The face covers the ring only: its area is the outer one less the hole.
    auto contourArea = [](const std::vector<TGlyphPoint> &points) {
        double sum = 0;
        for (size_t k = 0; k < points.size(); ++k) {
            const TGlyphPoint &a = points[k];
            const TGlyphPoint &b = points[(k + 1) % points.size()];
            sum += (double(a.x) * b.y - double(b.x) * a.y) / 2;
        }
        return std::abs(sum);
    };
    auto trianglesArea = [](const std::vector<TGlyphPoint> &points) { // signed: counter-clockwise is positive
        double sum = 0;
        for (size_t k = 0; k + 2 < points.size(); k += 3) {
            const TGlyphPoint &a = points[k], &b = points[k + 1], &c = points[k + 2];
            sum += ((b.x - a.x) * double(c.y - a.y) - (c.x - a.x) * double(b.y - a.y)) / 2;
        }
        return sum;
    };
    const double ring = std::abs(contourArea(contours[0]) - contourArea(contours[1]));
    EXPECT_NEAR(trianglesArea(best[0].FaceTriangles), ring, ring * 0.01);

    // Walls face away from the letter: on the far left of the outline, left.
    const TGlyphWall *leftmost = &best[0].Walls.front();
    for (const TGlyphWall &wall : best[0].Walls)
        if (wall.A.x + wall.B.x < leftmost->A.x + leftmost->B.x)
            leftmost = &wall;
    EXPECT_LT(leftmost->Normal.x, -0.9f);

    // Em units: Arial's capital A advances 1366 of 2048.
    const std::vector<TGlyphSolid> a = BuildGlyphSolids(font, 'A', 1, 1000.0);
    EXPECT_NEAR(a[0].Advance, 1366.0 / 2048, 1e-3);
    // Every code but 255 gets a solid; the Cyrillic capital ya has a face.
    const std::vector<TGlyphSolid> all = BuildGlyphSolids(font, 0, 255, 1000.0);
    EXPECT_EQ(all.size(), 255u);
    EXPECT_FALSE(all[223].FaceTriangles.empty());
}

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
