#include "Text3D.h"

#include "Cp1251.h"
#include "FontFaces.h"
#include "GlyphOutlines.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QPainter>
#include <QPointer>
#include <QSurfaceFormat>
#include <qdrawutil.h>

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <numbers>

const QString TText3D::InitCaption = QStringLiteral("Инициализация OpenGL...");

namespace {

constexpr double PixelsPerTextUnit = 0.08; // a measured pixel in text units
constexpr double ScreenDpi = 96.0;         // font sizes in points are taken at 96 pixels an inch
constexpr int SingleWaveSpaces = 4;
constexpr int GlyphFontHeight = 28;
const QByteArray SingleWavePadding(SingleWaveSpaces, ' ');

bool PlatformHasOpenGLWindows()
{
    // Showing a QOpenGLWidget on these platforms fails outright.
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

float ColourByte(TColor colour, int shift)
{
    return float((colour >> shift) & 0xFF) / 255.0f;
}

} // namespace

// The window that carries the control's OpenGL context. The control draws
// its frames into the view's framebuffer itself; the view only builds the
// glyph lists when its context is made and keeps the projection in step.
class TText3DView final : public QOpenGLWidget {
public:
    explicit TText3DView(TText3D &owner)
        : QOpenGLWidget(&owner)
        , Owner(owner)
    {
        setUpdateBehavior(QOpenGLWidget::PartialUpdate); // keeps the frame between compositions
        setAttribute(Qt::WA_TransparentForMouseEvents);  // clicks belong to the control
        // A window's framebuffer has no alpha to blend with: the clear
        // colour's alpha of 0 must not make the view see-through.
        setTextureFormat(GL_RGB8);
    }

    ~TText3DView() override
    {
        // The context goes with the base class, after this object is gone.
        if (context())
            disconnect(context(), nullptr, this, nullptr);
    }

    bool Ready() const { return FReady && context() != nullptr; }

protected:
    void initializeGL() override
    {
        FReady = true;
        connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, [this] { FReady = false; });
        Owner.ContextCreated();
    }
    void resizeGL(int, int) override { Owner.UpdateProjection(); }
    void paintGL() override {}

private:
    TText3D &Owner;
    bool FReady = false;
};

TText3D::TText3D(QWidget *parent)
    : QWidget(parent)
{
    resize(300, 120);
    FRefreshTimer.setInterval(FRefreshDelay);
    connect(&FRefreshTimer, &QTimer::timeout, this, &TText3D::RenderFrame);
    FItems = {
        QStringLiteral("TText3D"),
        QStringLiteral("Объёмные буквы на OpenGL"),
        QStringLiteral("Vantor"),
    };
    MakeWindowOpenGLCapable();
    SetMeasureFont(font());
    SetFontName(QStringLiteral("Arial Cyr"));
    SetFontSize(40);
    SetFontCharset(DefaultCharset);
    SetFontStyle(FFontStyle);
}

TText3D::~TText3D()
{
    FDestroying = true;
    Deactivate();
}

// A window that first meets an OpenGL view when it is already on the screen
// is destroyed and made anew with an OpenGL surface, and shows nothing until
// it has been painted again: the first activation would blank the panel while
// the context is made. An OpenGL view that is never shown, present when the
// window is made, gives the window its OpenGL surface from the start; it makes
// no context of its own.
void TText3D::MakeWindowOpenGLCapable()
{
    if (!PlatformHasOpenGLWindows())
        return;
    auto *placeholder = new QOpenGLWidget(this);
    placeholder->hide();
}

// ---- properties ---------------------------------------------------------

void TText3D::SetQualityType(TQualityType value)
{
    FQualityType = value;
    if (FActive)
        Restart();
}

void TText3D::SetRefreshDelay(std::uint16_t value)
{
    FRefreshDelay = value;
    if (value == 0)
        FRefreshTimer.stop(); // a zero interval would tick without pause
    FRefreshTimer.setInterval(value);
    SetRefreshTimerEnabled(FRefreshTimerEnabled);
}

void TText3D::SetActive(bool value)
{
    if (value)
        Activate();
    else
        Deactivate();
}

void TText3D::SetItems(const QStringList &lines)
{
    FFirstRow = 0;
    FFrameCount = 0;
    if (&lines != &FItems)
        FItems = lines;
}

void TText3D::SetVisionAngle(std::uint16_t value)
{
    FVisionAngle = value;
    UpdateProjection();
}

void TText3D::SetFontName(const QString &value)
{
    FMeasureFont.setFamily(FontFaces::Resolve(value));
    FMeasureMetrics = QFontMetrics(FMeasureFont);
    if (value != FFontName) {
        FFontName = value;
        if (FActive)
            Restart();
    }
}

void TText3D::SetFontSize(std::int32_t value)
{
    FFontSize = value;
    SetMeasureFontSize(value);
}

void TText3D::SetFontStyle(TFontStyles value)
{
    FMeasureFont.setBold(value.Contains(fsBold));
    FMeasureFont.setItalic(value.Contains(fsItalic));
    FMeasureFont.setUnderline(value.Contains(fsUnderline));
    FMeasureFont.setStrikeOut(value.Contains(fsStrikeOut));
    FMeasureMetrics = QFontMetrics(FMeasureFont);
    if (value != FFontStyle) {
        FFontStyle = value;
        if (FActive)
            Restart();
    }
}

void TText3D::SetFontCharset(std::uint8_t value)
{
    FMeasureFontCharset = value;
    if (value != FFontCharset) {
        FFontCharset = value;
        if (FActive)
            Restart();
    }
}

void TText3D::SetCaption(const QString &value)
{
    if (FActivationDepth > 0)
        FSavedCaption = value; // shown once the running activation is done
    else
        FCaption = value;
    update();
}

void TText3D::SetBevelInner(TBevelCut value)
{
    FBevelInner = value;
    update();
}

void TText3D::SetBevelOuter(TBevelCut value)
{
    FBevelOuter = value;
    update();
}

void TText3D::SetBevelWidth(int value)
{
    FBevelWidth = std::max(1, value);
    update();
}

void TText3D::SetBorderWidth(int value)
{
    FBorderWidth = std::max(0, value);
    update();
}

QWidget *TText3D::GLView() const
{
    return FView.get();
}

bool TText3D::HasRenderContext() const
{
    return FView && FView->Ready();
}

// ---- the measuring font -------------------------------------------------

void TText3D::SetMeasureFont(const QFont &font)
{
    FMeasureFont = font;
    FMeasureFont.setFamily(FontFaces::Resolve(font.family()));
    if (font.pointSize() > 0)
        FMeasureFontSize = font.pointSize();
    else
        FMeasureFontSize = int(std::lround(font.pixelSize() * 72.0 / ScreenDpi));
    FMeasureMetrics = QFontMetrics(FMeasureFont);
}

void TText3D::SetMeasureFontSize(std::int32_t points)
{
    FMeasureFontSize = points;
    if (points > 0)
        FMeasureFont.setPixelSize(int(std::lround(points * ScreenDpi / 72.0)));
    else if (points < 0)
        FMeasureFont.setPixelSize(-points); // a negative size is a height in pixels
    FMeasureMetrics = QFontMetrics(FMeasureFont);
}

// ---- activation ---------------------------------------------------------

void TText3D::Activate()
{
    SetRefreshTimerEnabled(true);
    FActive = true;
    const unsigned generation = ++FContextGeneration;
    if (FActivationDepth++ == 0)
        FSavedCaption = FCaption;
    FCaption = InitCaption;
    if (FView)
        FView->hide(); // the panel shows the caption while the context is made anew

    QPointer<TText3D> self(this);
    repaint();
    QCoreApplication::processEvents();
    if (!self)
        return;

    // A deactivation handled just now leaves the control inactive without a
    // context; an activation handled just now has made the context already.
    if (FActive && generation == FContextGeneration)
        InitOpenGL();
    if (--FActivationDepth == 0) {
        FCaption = FSavedCaption;
        update();
    }
}

void TText3D::Deactivate()
{
    SetRefreshTimerEnabled(false);
    FActive = false;
    ++FContextGeneration;
    DoneOpenGL();
    if (!FDestroying)
        update();
}

void TText3D::Restart()
{
    Deactivate();
    Activate();
}

void TText3D::SetRefreshTimerEnabled(bool enabled)
{
    FRefreshTimerEnabled = enabled;
    if (enabled && FRefreshDelay > 0) {
        if (!FRefreshTimer.isActive())
            FRefreshTimer.start();
    } else {
        FRefreshTimer.stop();
    }
}

// ---- OpenGL set-up ------------------------------------------------------

void TText3D::InitOpenGL()
{
    FDeviation = FQualityType == qtFastest ? 1000.0 : 0.0;
    DoneOpenGL(); // a second activation lets the previous context go first
    if (!PlatformHasOpenGLWindows())
        return;
    FView = std::make_unique<TText3DView>(*this);
    SetupPixelFormat();
    FOpenGLCalls.Target = FView.get();
    FView->setGeometry(rect());
    // A shown control makes its context here; a hidden one when it is first shown.
    FView->show();
    UpdateProjection();
}

void TText3D::SetupPixelFormat()
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    format.setDepthBufferSize(32);
    FView->setFormat(format);
}

void TText3D::ContextCreated()
{
    const TGlyphFontRequest request{FFontName, FFontCharset, FFontStyle.Contains(fsBold),
                                    FFontStyle.Contains(fsItalic), GlyphFontHeight};
    const QRawFont glyphFont = MakeGlyphFont(request);
    CompileGlyphLists(BuildGlyphSolids(glyphFont, 0, GlyphCount, FDeviation), GlyphListBase, 0);
    ++FGlyphListBuilds;
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
}

void TText3D::DoneOpenGL()
{
    FOpenGLCalls.Target = nullptr;
    if (!FView)
        return;
    if (FView->Ready())
        FView->doneCurrent();
    FView.reset(); // the context, and the glyph lists with it
}

TText3DCalls *TText3D::ProjectionCalls()
{
    if (FCallsOverride)
        return FCallsOverride;
    if (!HasRenderContext())
        return nullptr;
    FView->makeCurrent();
    return &FOpenGLCalls;
}

void TText3D::UpdateProjection()
{
    if (!FActive || height() <= 0)
        return;
    TText3DCalls *calls = ProjectionCalls();
    if (!calls)
        return;
    const qreal ratio = FView ? FView->devicePixelRatioF() : 1.0;
    calls->MatrixMode(TText3DCalls::mmProjection);
    calls->LoadIdentity();
    calls->Perspective(FVisionAngle, double(width()) / height(), 1.0, 15.0);
    calls->Viewport(0, 0, int(std::lround(width() * ratio)), int(std::lround(height() * ratio)));
    calls->MatrixMode(TText3DCalls::mmModelView);
}

// ---- window messages ----------------------------------------------------

void TText3D::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    QRect area = rect();
    painter.fillRect(area, palette().button());
    if (FBevelOuter != bvNone) {
        qDrawShadePanel(&painter, area, palette(), FBevelOuter == bvLowered, FBevelWidth);
        area.adjust(FBevelWidth, FBevelWidth, -FBevelWidth, -FBevelWidth);
    }
    area.adjust(FBorderWidth, FBorderWidth, -FBorderWidth, -FBorderWidth);
    if (FBevelInner != bvNone)
        qDrawShadePanel(&painter, area, palette(), FBevelInner == bvLowered, FBevelWidth);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextSingleLine, FCaption);
    painter.end();

    // Painting puts the ordinary font into the measuring font; only its
    // size goes back to FontSize.
    SetMeasureFont(font());
    FMeasureFontCharset = DefaultCharset;
    if (FMeasureFontSize != FFontSize)
        SetMeasureFontSize(FFontSize);
}

void TText3D::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (FView)
        FView->setGeometry(rect());
    UpdateProjection();
}

void TText3D::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        FClickPending = true;
}

void TText3D::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !FClickPending)
        return;
    FClickPending = false;
    if (rect().contains(event->position().toPoint()) && FOnClick)
        FOnClick(this);
}

void TText3D::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    FClickPending = false; // the release that ends a double-click is no click
    if (FOnDblClick)
        FOnDblClick(this);
}

// ---- the frame ----------------------------------------------------------

bool TText3D::CanDrawFrame() const
{
    // Each of these is a divisor somewhere in the frame.
    return FLinesCount > 0 && FFontSize != 0 && FLiteraDepth != 0 && height() > 0;
}

TText3DCalls &TText3D::FrameCalls()
{
    if (FCallsOverride)
        return *FCallsOverride;
    // A control that cannot be seen keeps its time but draws nothing.
    if (HasRenderContext() && FView->isVisible()) {
        FView->makeCurrent();
        return FOpenGLCalls;
    }
    return NullText3DCalls();
}

void TText3D::RenderFrame()
{
    if (!CanDrawFrame())
        return;
    const int lineCount = int(FItems.size());
    if (int(FFirstRow) > lineCount - 1)
        FFirstRow = std::uint16_t(lineCount - 1);
    FRowsShown = FLinesCount;
    PageTiming();
    if (lineCount == 0)
        return;
    if (FChangePhase == cpShow)
        ++FFrameCount;
    if (lineCount - FFirstRow < FLinesCount)
        FRowsShown = std::uint16_t(lineCount - FFirstRow);

    FCalls = &FrameCalls();
    FCalls->Clear();
    FCalls->LoadIdentity();
    FCalls->ClearColor(ColourByte(FBackColor, 0), ColourByte(FBackColor, 8), ColourByte(FBackColor, 16), 0);
    const float light = FLightIntensity / 255.0f;
    SetMaterialColor(ColourByte(FFontColor, 0) * light, ColourByte(FFontColor, 8) * light,
                     ColourByte(FFontColor, 16) * light, 1.0f);

    FCalls->Translate(0, 0, -3);
    FCalls->PushMatrix();
    FCalls->Rotate(FAngleX, 1, 0, 0);
    FCalls->Rotate(FAngleY, 0, 1, 0);
    const float sceneScale = float(PixelsPerTextUnit * FScale);
    FCalls->Scale(sceneScale, sceneScale, sceneScale);
    FCalls->Translate(-FLeftOffset, 0, 0);
    FCalls->Translate(0, FTopOffset, 0);

    bool alive = true;
    switch (FChangePhase) {
    case cpShow: alive = DrawPage(); break;
    case cpAppear: alive = DrawLinesIn(); break;
    case cpDisappear: alive = DrawLinesOut(); break;
    }
    if (!alive)
        return; // an event handler destroyed the control

    FCalls->PopMatrix();
    FCalls->SwapBuffers();
    FCalls = &NullText3DCalls();
}

void TText3D::SetMaterialColor(float red, float green, float blue, float alpha)
{
    FCalls->Material(red, green, blue, alpha);
}

bool TText3D::RaiseEvent(const TNotifyEvent &handler)
{
    if (!handler)
        return true;
    QPointer<TText3D> self(this);
    const unsigned generation = FContextGeneration;
    const bool timerWasEnabled = FRefreshTimerEnabled;
    SetRefreshTimerEnabled(false);
    handler(this);
    if (!self)
        return false;
    if (generation == FContextGeneration) {
        SetRefreshTimerEnabled(timerWasEnabled);
    } else {
        // The handler deactivated or restarted the control: the rest of this
        // frame keeps the page bookkeeping but no longer draws, and the
        // timer stays as the handler left it.
        if (FCalls != FCallsOverride)
            FCalls = &NullText3DCalls();
    }
    return true;
}

TText3D::TLine TText3D::LineAt(int index) const
{
    if (index < 0 || index >= FItems.size())
        return {};
    TLine line;
    line.Codes = Cp1251::FromUnicode(FItems.at(index));
    line.Text = Cp1251::ToUnicode(line.Codes);
    return line;
}

double TText3D::RestingHeight(int n) const
{
    return (FRowsGap + 2.0) * ((FRowsShown - 1) / 2.0 - n + 1) - 1;
}

double TText3D::LineWidth(const TLine &line) const
{
    return PixelsPerTextUnit * FMeasureMetrics.horizontalAdvance(line.Text)
        + (line.Codes.size() - 1) * ScaledGap();
}

void TText3D::PageTiming()
{
    if (FNewRowDelay <= 0 || FChangePhase != cpShow)
        return;
    if (FFirstRow == 0 && FItems.size() <= FLinesCount)
        return; // a list that fits on one page never pages
    if (double(FRefreshDelay) * FFrameCount > (double(FFirstRow) / FLinesCount + 1.0) * FNewRowDelay) {
        FChangePhase = cpDisappear;
        FStepCount = 0;
    }
}

bool TText3D::DrawPage()
{
    if (FAnimationSet.Contains(atFixedRotation)) {
        const double period = FNewRowDelay != 0 ? double(FNewRowDelay) : double(FDefaultRotationPeriod);
        if (period != 0 && FRefreshDelay != 0)
            FCalls->Rotate(float(FFrameCount * 360.0 / (period / FRefreshDelay)), 0, 1, 0);
    }
    const bool singleWave = FAnimationSet.Contains(atRotation) || FAnimationSet.Contains(atSingleWave)
        || FAnimationSet.Contains(atZoomWave) || FAnimationSet.Contains(atHorSingleWave);

    for (int n = 1; n <= FRowsShown; ++n) {
        TLine line = LineAt(FFirstRow + n - 1);
        if (singleWave) {
            if (!SingleWaveBookkeeping())
                return false;
            line.Codes = SingleWavePadding + line.Codes + SingleWavePadding;
            line.Text = Cp1251::ToUnicode(line.Codes);
        }
        FCalls->PushMatrix();
        FCalls->Translate(0, float(RestingHeight(n)), 0);
        FCalls->Translate(float(-LineWidth(line) / 2), 0, 0);
        for (int i = 1; i <= line.Codes.size(); ++i) {
            const int charWidth = FMeasureMetrics.horizontalAdvance(line.Text.at(i - 1));
            FCalls->PushMatrix();
            ApplyLetterAnimations(i, charWidth);
            DrawLitera(static_cast<unsigned char>(line.Codes.at(i - 1)));
            FCalls->PopMatrix();
            FCalls->Translate(float(PixelsPerTextUnit * charWidth + ScaledGap()), 0, 0);
        }
        FCalls->PopMatrix();
    }
    return true;
}

bool TText3D::SingleWaveBookkeeping()
{
    ++FStepCount;
    qsizetype longest = 0;
    for (int n = 1; n <= FRowsShown; ++n)
        longest = std::max(longest, LineAt(FFirstRow + n - 1).Codes.size());
    const qsizetype passLength = longest + 2 * SingleWaveSpaces;
    if (passLength * 20 < FStepCount) {
        FStepCount = 0;
        return RaiseEvent(FOnAnimateCycleDone);
    }
    return true;
}

void TText3D::ApplyLetterAnimations(int i, int charWidth)
{
    const double amplitude = FWaveAmplitude;
    const double wave = std::sin(FFrameCount / 10.0 + i) * amplitude;
    const int g = FStepCount / 20;
    const int m = FStepCount - 20 * g;
    const bool inWindow = g - 1 <= i && i <= g + 3;
    const int k = g - i + 3;
    const double phase = k * 180.0 / 5 + m * 180.0 / 20 / 5;
    const double rise = std::sin(phase * std::numbers::pi / 180);

    if (FAnimationSet.Contains(atHorWave))
        FCalls->Translate(0, 0, float(wave));
    if (inWindow && FAnimationSet.Contains(atHorSingleWave))
        FCalls->Translate(0, 0, float(rise * 2 * amplitude));
    if (inWindow && FAnimationSet.Contains(atZoomWave))
        FCalls->Scale(float(1 + amplitude * rise), float(1 + amplitude * rise), 1);
    if (inWindow && FAnimationSet.Contains(atRotation)) {
        const float half = float(PixelsPerTextUnit * charWidth / 2);
        FCalls->Translate(half, 0, 0);
        FCalls->Rotate(float(k * 360.0 / 5 + m * 360.0 / 20 / 5), 0, 1, 0);
        FCalls->Translate(-half, 0, 0);
    }
    if (inWindow && FAnimationSet.Contains(atSingleWave))
        FCalls->Translate(0, float(rise * 2 * amplitude), 0);
    if (FAnimationSet.Contains(atWave))
        FCalls->Translate(0, float(wave), 0);
}

void TText3D::DrawLitera(unsigned char code)
{
    const float em = FFontSize * 0.125f;
    FCalls->Scale(em, em, FLiteraDepth);
    FCalls->Translate(0, 0, 0.5f);
    const bool smallYa = code == 255; // drawn as the capital letter at 70 %
    if (smallYa) {
        code = 223;
        FCalls->Scale(0.7f, 0.7f, 1.0f);
    }
    FCalls->ListBase(GlyphListBase);
    FCalls->CallList(code);
    if (smallYa)
        FCalls->Scale(1.4285715f, 1.4285715f, 1.0f);
    FCalls->Translate(0, 0, -0.5f);
    const float inverseEm = float(1.0 / FFontSize / 0.125);
    FCalls->Scale(inverseEm, inverseEm, float(1.0 / FLiteraDepth));
}

bool TText3D::DrawLinesIn()
{
    bool finished = FChangeStyle == csSwitch;
    ++FStepCount;
    if (FChangeStyle != csSwitch) {
        for (int n = 1; n <= FRowsShown; ++n) {
            DrawTransitionLine(n, TransitionSteps - FStepCount, true);
            if (FStepCount == TransitionSteps)
                finished = true;
        }
    }
    if (finished) {
        FChangePhase = cpShow;
        FStepCount = 0;
    }
    return true;
}

bool TText3D::DrawLinesOut()
{
    ++FStepCount;
    bool finished = FChangeStyle == csSwitch;
    if (FChangeStyle != csSwitch) {
        for (int n = 1; n <= FRowsShown; ++n) {
            DrawTransitionLine(n, FStepCount, false);
            if (FStepCount == TransitionSteps)
                finished = true;
        }
    }
    if (finished) {
        if (!RaiseEvent(FOnLinesChanging))
            return false;
        FChangePhase = cpAppear;
        FStepCount = 0;
        const int nextRow = FFirstRow + FLinesCount;
        if (nextRow > FItems.size() - 1) {
            FFirstRow = 0;
            FFrameCount = 0;
        } else {
            FFirstRow = std::uint16_t(nextRow);
        }
    }
    return true;
}

void TText3D::DrawTransitionLine(int n, int d, bool incoming)
{
    const bool even = n % 2 == 0;
    double dx = 0;
    double dy = 0;
    switch (FChangeStyle) {
    case csRightToLeft: dx = incoming ? d : -d; break;
    case csLeftToRight: dx = incoming ? -d : d; break;
    case csLeftAndRight: dx = even ? d : -d; break;
    case csBottomToTop: dy = incoming ? -d : d; break;
    case csTopToBottom: dy = incoming ? d : -d; break;
    case csTopAndBottom: dy = even == incoming ? d : -d; break;
    case csSwitch:
    case csLiterasUpDown:
    case csDiffusion: break;
    }

    FCalls->PushMatrix();
    FCalls->Translate(0, float(RestingHeight(n) + dy), 0);
    const TLine line = LineAt(FFirstRow + n - 1);
    FCalls->Translate(float(-LineWidth(line) / 2 + dx), 0, 0);
    for (int i = 1; i <= line.Codes.size(); ++i) {
        const auto code = static_cast<unsigned char>(line.Codes.at(i - 1));
        double lift = 0;
        bool moves = true;
        if (FChangeStyle == csLiterasUpDown) {
            const double side = std::sin(i * std::numbers::pi + std::numbers::pi / 2);
            lift = incoming ? side * (TransitionSteps - FStepCount) : side * -FStepCount;
        } else if (FChangeStyle == csDiffusion) {
            const double shake = std::sin((i + 5 + FStepCount) * std::numbers::pi / 8);
            lift = incoming ? shake * (TransitionSteps - FStepCount) * 0.1 : shake * FStepCount * -0.1;
        } else {
            moves = false;
        }
        if (moves)
            FCalls->Translate(0, float(lift), 0);
        DrawLitera(code);
        if (moves)
            FCalls->Translate(0, float(-lift), 0);
        FCalls->Translate(FLiterasGap, 0, 0);
    }
    FCalls->PopMatrix();
}
