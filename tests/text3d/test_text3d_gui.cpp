// The 3D text control drawn by the software renderer on an X display
// (xvfb-run -a), its restarts, and the About box.
#include "SoftwareRenderer.h"
#include "Text3D.h"
#include "Unit2.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QOpenGLWidget>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

// A shown window that holds one control filling it. The refresh timer is
// off: the tests draw the frames themselves.
struct Harness {
    QWidget Window;
    TText3D *Control = nullptr;

    explicit Harness(QSize size = QSize(400, 240))
    {
        Window.resize(size);
        Control = new TText3D(&Window);
        Control->setGeometry(QRect(QPoint(0, 0), size));
        Control->SetRefreshDelay(0);
        Window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&Window));
    }

    QImage Frame()
    {
        Control->RenderFrame();
        return Picture();
    }

    QImage Picture() const
    {
        auto *view = static_cast<QOpenGLWidget *>(Control->GLView());
        return view ? view->grabFramebuffer().convertToFormat(QImage::Format_RGB32) : QImage();
    }
};

// Runs the event loop until `done` holds or `timeoutMs` has passed.
bool WaitUntil(const std::function<bool()> &done, int timeoutMs = 10000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(20);
    }
    return true;
}

bool IsNeutral(QRgb pixel, int tolerance = 6)
{
    return std::abs(qRed(pixel) - qGreen(pixel)) <= tolerance && std::abs(qGreen(pixel) - qBlue(pixel)) <= tolerance;
}

int CountPixels(const QImage &image, const std::function<bool(QRgb)> &test)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += test(image.pixel(x, y)) ? 1 : 0;
    return count;
}

QRect DrawnArea(const QImage &image, QRgb background)
{
    QRect area;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != background)
                area |= QRect(x, y, 1, 1);
    return area;
}

// Records the caption that each paint of a control shows.
class CaptionSpy : public QObject {
public:
    explicit CaptionSpy(TText3D *control)
        : Control(control)
    {
        control->installEventFilter(this);
    }
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            Painted << Control->Caption();
        return false;
    }
    TText3D *Control;
    QStringList Painted;
};

// When the control's OpenGL view is first shown, just before its context is
// made: the caption, what the control paints as the view is added, and what
// the screen shows of the control's window.
class ContextCreationWitness : public QObject {
public:
    explicit ContextCreationWitness(TText3D *control)
        : Control(control)
    {
        control->installEventFilter(this);
    }
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == Control && event->type() == QEvent::ChildAdded) {
            static_cast<QChildEvent *>(event)->child()->installEventFilter(this);
            Painted = Control->grab().toImage().convertToFormat(QImage::Format_RGB32); // without the view
        }
        if (watched != Control && event->type() == QEvent::Show && Screen.isNull()) {
            Caption = Control->Caption();
            const QWidget &window = *Control->window();
            const QPoint at = window.mapToGlobal(QPoint(0, 0));
            const QPixmap shown = QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), window.width(),
                                                                               window.height());
            Screen = shown.toImage().convertToFormat(QImage::Format_RGB32);
        }
        return false;
    }
    TText3D *Control;
    QString Caption;
    QImage Painted;
    QImage Screen;
};

} // namespace

TEST(Text3DPictures, FirstFrameIsBlackAndTheSecondShowsBackColorAndSilverLetters)
{
    Harness h;
    h.Control->SetBackColor(0x00500000); // dark blue
    h.Control->SetFontColor(0x00C0C0C0);
    h.Control->SetAnimationSet({});
    h.Control->SetItems({"MWM", "HOH"});
    h.Control->SetActive(true);
    ASSERT_TRUE(h.Control->HasRenderContext());
    EXPECT_EQ(h.Control->GlyphListBuilds(), 1);

    const QImage first = h.Frame();
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first.pixel(2, 2), qRgb(0, 0, 0));
    const QImage second = h.Frame();
    EXPECT_EQ(second.pixel(2, 2), qRgb(0, 0, 0x50));
    const int silver = CountPixels(second, [](QRgb p) { return IsNeutral(p) && qRed(p) > 100; });
    EXPECT_GT(silver, 300);
    second.save(QDir(TEXT3D_REVIEW_DIR).filePath("frame2.png"));

    // A change of BackColor shows one frame later.
    h.Control->SetBackColor(0x00005000);
    EXPECT_EQ(h.Frame().pixel(2, 2), qRgb(0, 0, 0x50));
    EXPECT_EQ(h.Frame().pixel(2, 2), qRgb(0, 0x50, 0));
}

TEST(Text3DPictures, LightIntensityZeroDrawsBlackLetters)
{
    Harness h;
    h.Control->SetBackColor(0x00800000);
    h.Control->SetFontColor(0x00FFFFFF);
    h.Control->SetLightIntensity(0);
    h.Control->SetAnimationSet({});
    h.Control->SetChangeStyle(csSwitch);
    h.Control->SetItems({"MWM", "HOH"});
    h.Control->SetActive(true);
    h.Frame();
    const QImage picture = h.Frame();
    const int black = CountPixels(picture, [](QRgb p) { return qRed(p) < 8 && qGreen(p) < 8 && qBlue(p) < 8; });
    const int lit = CountPixels(picture, [](QRgb p) { return IsNeutral(p) && qRed(p) > 40; });
    EXPECT_GT(black, 1000);
    EXPECT_EQ(lit, 0);
}

TEST(Text3DPictures, SmallYaIsTheCapitalAtSeventyPercent)
{
    Harness h(QSize(300, 300));
    h.Control->SetAnimationSet({});
    h.Control->SetChangeStyle(csSwitch);
    h.Control->SetLinesCount(1);
    h.Control->SetFontColor(0x00FFFFFF);
    h.Control->SetItems({QStringLiteral("Я")});
    h.Control->SetActive(true);
    h.Frame();
    h.Frame();
    const QRect capital = DrawnArea(h.Frame(), qRgb(0, 0, 0));
    h.Control->SetItems({QStringLiteral("я")});
    h.Frame();
    const QRect small = DrawnArea(h.Frame(), qRgb(0, 0, 0));
    ASSERT_GT(capital.height(), 40);
    ASSERT_FALSE(small.isEmpty()) << "the small ya must be drawn, not left out";
    EXPECT_NEAR(double(small.height()) / capital.height(), 0.7, 0.05);
    EXPECT_NEAR(double(small.width()) / capital.width(), 0.7, 0.07);
}

TEST(Text3DRestart, SettersRestartOnlyWhenTheGlyphsChange)
{
    Harness h;
    CaptionSpy spy(h.Control);
    h.Control->SetCaption(QStringLiteral("idle"));
    h.Control->SetActive(true);
    ASSERT_EQ(h.Control->GlyphListBuilds(), 1);
    EXPECT_TRUE(spy.Painted.contains(TText3D::InitCaption));
    EXPECT_EQ(h.Control->Caption(), QStringLiteral("idle"));
    for (int k = 0; k < 45; ++k)
        h.Control->RenderFrame();
    const auto phase = h.Control->ChangePhase();
    const auto steps = h.Control->StepCount();
    const auto frames = h.Control->FrameCount();

    spy.Painted.clear();
    h.Control->SetFontName(QStringLiteral("Arial Cyr"));
    h.Control->SetFontStyle({});
    h.Control->SetFontCharset(TText3D::DefaultCharset);
    h.Control->SetFontSize(50);
    EXPECT_EQ(h.Control->GlyphListBuilds(), 1);
    EXPECT_FALSE(spy.Painted.contains(TText3D::InitCaption));
    EXPECT_EQ(h.Control->MeasureFontSize(), 50);

    h.Control->SetQualityType(qtFastest); // unchanged, and still a restart
    EXPECT_EQ(h.Control->GlyphListBuilds(), 2);
    EXPECT_TRUE(spy.Painted.contains(TText3D::InitCaption));
    h.Control->SetFontName(QStringLiteral("arial cyr")); // another letter case is another name
    EXPECT_EQ(h.Control->GlyphListBuilds(), 3);
    h.Control->SetFontStyle({fsBold});
    EXPECT_EQ(h.Control->GlyphListBuilds(), 4);
    h.Control->SetFontCharset(204);
    EXPECT_EQ(h.Control->GlyphListBuilds(), 5);
    h.Control->SetActive(true); // active already: the whole activation again
    EXPECT_EQ(h.Control->GlyphListBuilds(), 6);
    EXPECT_TRUE(h.Control->Active());
    EXPECT_EQ(h.Control->Caption(), QStringLiteral("idle"));

    // Restarts go on with the page where it was.
    EXPECT_EQ(h.Control->ChangePhase(), phase);
    EXPECT_EQ(h.Control->StepCount(), steps);
    EXPECT_EQ(h.Control->FrameCount(), frames);

    h.Control->SetActive(false);
    EXPECT_EQ(h.Control->GLView(), nullptr);
    EXPECT_FALSE(h.Control->HasRenderContext());
}

TEST(Text3DRestart, InactiveControlsStoreWithoutRestarting)
{
    Harness h;
    h.Control->SetQualityType(qtBest);
    h.Control->SetFontName(QStringLiteral("Arial"));
    EXPECT_FALSE(h.Control->Active());
    EXPECT_EQ(h.Control->GlyphListBuilds(), 0);
    EXPECT_EQ(h.Control->GLView(), nullptr);
}

TEST(Text3DLifecycle, ATickBeforeTheContextExistsDrawsNothing)
{
    QWidget window;
    window.resize(300, 120);
    auto *control = new TText3D(&window);
    control->SetRefreshDelay(0);
    control->SetActive(true); // the window is not shown: no context yet
    EXPECT_TRUE(control->Active());
    EXPECT_FALSE(control->HasRenderContext());
    control->RenderFrame();
    EXPECT_EQ(control->StepCount(), 1);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_TRUE(control->HasRenderContext());
    EXPECT_EQ(control->GlyphListBuilds(), 1);
}

TEST(Text3DLifecycle, ADeactivationDuringActivationLeavesNoContext)
{
    Harness h;
    h.Control->SetCaption(QStringLiteral("idle"));
    QTimer::singleShot(0, h.Control, [&] { h.Control->SetActive(false); });
    h.Control->SetActive(true);
    EXPECT_FALSE(h.Control->Active());
    EXPECT_EQ(h.Control->GLView(), nullptr);
    EXPECT_FALSE(h.Control->RefreshTimerEnabled());
    EXPECT_EQ(h.Control->Caption(), QStringLiteral("idle"));

    // An activation handled inside an activation makes one context, and the
    // caption comes back.
    QTimer::singleShot(0, h.Control, [&] { h.Control->SetActive(true); });
    h.Control->SetActive(true);
    EXPECT_TRUE(h.Control->Active());
    EXPECT_TRUE(h.Control->HasRenderContext());
    EXPECT_EQ(h.Control->GlyphListBuilds(), 1);
    EXPECT_EQ(h.Control->Caption(), QStringLiteral("idle"));
}

TEST(Text3DLifecycle, DestroyingAnActiveControlReleasesItsContext)
{
    Harness h;
    h.Control->SetActive(true);
    ASSERT_TRUE(h.Control->HasRenderContext());
    delete h.Control;
    h.Control = nullptr;
    QTest::qWait(20);
    SUCCEED();
}

TEST(AboutBox, KeepsItsHeightAndAtMostItsWidth)
{
    TAboutBox box;
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    box.resize(600, 500);
    EXPECT_EQ(box.size(), QSize(480, 361));
    box.resize(300, 200);
    EXPECT_EQ(box.size(), QSize(300, 361));
    EXPECT_FALSE(box.Text3D1->Active());
    EXPECT_EQ(box.AlphaBlendValue(), 255);
}

TEST(AboutBox, OkFadesOutAtItsOwnPaceAndCloses)
{
    TAboutBox box;
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    box.Button1Click();
    ASSERT_TRUE(box.Timer1->isActive());
    const int timer = box.Timer1->timerId();
    box.Button1Click(); // a second OK changes nothing
    EXPECT_EQ(box.Timer1->timerId(), timer);
    box.Timer1->stop(); // the ticks are driven by hand from here
    for (int tick = 1; tick <= 50; ++tick)
        box.Timer1Timer();
    EXPECT_EQ(box.AlphaBlendValue(), 5);
    EXPECT_TRUE(box.isVisible());
    box.Timer1Timer();
    EXPECT_EQ(box.AlphaBlendValue(), 0);
    EXPECT_FALSE(box.isVisible());

    box.show(); // opened again: opaque
    EXPECT_EQ(box.AlphaBlendValue(), 255);
    EXPECT_DOUBLE_EQ(box.windowOpacity(), 1.0);
}

TEST(AboutBox, ActivationCancelsAFade)
{
    TAboutBox box;
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    box.Button1Click();
    box.Timer1Timer();
    box.Timer1Timer();
    EXPECT_EQ(box.AlphaBlendValue(), 245);
    box.FormActivate();
    EXPECT_FALSE(box.Timer1->isActive());
    EXPECT_EQ(box.AlphaBlendValue(), 255);
}

TEST(AboutBox, ClickRunsTheTextDoubleClickStopsItAndClosingLeavesItRunning)
{
    TAboutBox box;
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    QTest::mouseClick(box.Text3D1, Qt::LeftButton);
    EXPECT_TRUE(box.Text3D1->Active());
    EXPECT_TRUE(box.Text3D1->HasRenderContext());
    QTest::mouseDClick(box.Text3D1, Qt::LeftButton);
    EXPECT_FALSE(box.Text3D1->Active());
    EXPECT_EQ(box.Text3D1->GLView(), nullptr);

    box.Text3D1Click();
    box.close();
    EXPECT_TRUE(box.Text3D1->Active());
    EXPECT_TRUE(box.Text3D1->RefreshTimer().isActive());
}

TEST(AboutBox, OpenedModallyItRunsTheTextAndFadesClosed)
{
    TAboutBox box;
    QTimer::singleShot(100, &box, [&box] {
        box.Text3D1Click();
        QTimer::singleShot(300, &box, [&box] { box.Button1Click(); });
    });
    QElapsedTimer timer;
    timer.start();
    box.exec(); // returns when the fade has closed the box
    EXPECT_GT(timer.elapsed(), 300 + 51 * 8 - 50);
    EXPECT_FALSE(box.isVisible());
    EXPECT_EQ(box.AlphaBlendValue(), 0);
    EXPECT_TRUE(box.Text3D1->Active());
    EXPECT_TRUE(box.Text3D1->HasRenderContext());

    // Opened again, it goes on drawing where it was.
    const int frames = box.Text3D1->FrameCount();
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    EXPECT_TRUE(WaitUntil([&] { return box.Text3D1->FrameCount() > frames + 5; }));
    const QImage strip = box.grab(box.Text3D1->geometry()).toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_GT(CountPixels(strip, [](QRgb p) { return IsNeutral(p) && qRed(p) > 100; }), 200);
}

// While the first context is made the screen shows the initialisation caption
// in the box's own window: a window made anew when its first OpenGL view
// appears shows nothing until it is painted again.
TEST(AboutBox, FirstActivationKeepsItsWindowAndShowsTheInitialisationCaption)
{
    TAboutBox box;
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    for (const auto *view : box.findChildren<QOpenGLWidget *>())
        EXPECT_EQ(view->context(), nullptr) << "no context before the activation";
    const WId window = box.winId();
    ContextCreationWitness witness(box.Text3D1);
    QTest::mouseClick(box.Text3D1, Qt::LeftButton);
    ASSERT_TRUE(box.Text3D1->HasRenderContext());
    EXPECT_EQ(box.winId(), window);
    EXPECT_EQ(witness.Caption, TText3D::InitCaption);
    witness.Screen.save(QDir(TEXT3D_REVIEW_DIR).filePath("about_box_initialising.png"));
    EXPECT_TRUE(witness.Screen.copy(box.Text3D1->geometry()) == witness.Painted);
}

TEST(AboutBox, RunningTextPictureForReview)
{
    TAboutBox box;
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    box.grab().save(QDir(TEXT3D_REVIEW_DIR).filePath("about_box_idle.png"));
    box.Text3D1Click();
    // The first page comes in and the wave runs for a while.
    ASSERT_TRUE(WaitUntil([&] { return box.Text3D1->ChangePhase() == cpShow && box.Text3D1->FrameCount() > 60; }));
    const QImage picture = box.grab().toImage().convertToFormat(QImage::Format_RGB32);
    picture.save(QDir(TEXT3D_REVIEW_DIR).filePath("about_box.png"));
    const QImage strip = picture.copy(box.Text3D1->geometry());
    const int silver = CountPixels(strip, [](QRgb p) { return IsNeutral(p) && qRed(p) > 100; });
    const int black = CountPixels(strip, [](QRgb p) { return p == qRgb(0, 0, 0); });
    EXPECT_GT(silver, 200);
    EXPECT_GT(black, strip.width() * strip.height() / 3);
}

int main(int argc, char **argv)
{
    KeepSoftwareRendererLoaded();
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
