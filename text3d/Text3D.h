// TText3D: a panel that, while active, shows pages of text lines as solid,
// lit 3D letters drawn with OpenGL, animates them and pages through them.
#pragma once

#include "Text3DCalls.h"

#include <QFont>
#include <QFontMetrics>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>

class TText3DView;

enum TQualityType : std::uint8_t { qtFastest = 0, qtBest = 1 };

enum TAnimationType : std::uint8_t {
    atFixedRotation = 0,
    atWave = 1,
    atHorWave = 2,
    atSingleWave = 3,
    atHorSingleWave = 4,
    atZoomWave = 5,
    atRotation = 6,
};

enum TChangeStyle : std::uint8_t {
    csSwitch = 0,
    csRightToLeft = 1,
    csLeftToRight = 2,
    csLeftAndRight = 3,
    csBottomToTop = 4,
    csTopToBottom = 5,
    csTopAndBottom = 6,
    csLiterasUpDown = 7,
    csDiffusion = 8,
};

enum TChangePhase : std::uint8_t { cpShow = 0, cpAppear = 1, cpDisappear = 2 };

enum TFontStyle : std::uint8_t { fsBold = 0, fsItalic = 1, fsUnderline = 2, fsStrikeOut = 3 };

enum TBevelCut : std::uint8_t { bvNone = 0, bvLowered = 1, bvRaised = 2 };

// A set of up to eight enumeration members held in one byte, member n as
// the bit value 2 to the power n.
template <typename E>
class TByteSet {
public:
    constexpr TByteSet() = default;
    constexpr TByteSet(std::initializer_list<E> members)
    {
        for (const E member : members)
            FBits |= Bit(member);
    }
    static constexpr TByteSet FromBits(std::uint8_t bits)
    {
        TByteSet set;
        set.FBits = bits;
        return set;
    }

    constexpr std::uint8_t Bits() const { return FBits; }
    constexpr bool Contains(E member) const { return (FBits & Bit(member)) != 0; }
    constexpr bool IsEmpty() const { return FBits == 0; }
    constexpr TByteSet &Include(E member)
    {
        FBits |= Bit(member);
        return *this;
    }
    constexpr TByteSet &Exclude(E member)
    {
        FBits &= std::uint8_t(~Bit(member));
        return *this;
    }
    constexpr bool operator==(const TByteSet &) const = default;

private:
    static constexpr std::uint8_t Bit(E member) { return std::uint8_t(1u << unsigned(member)); }
    std::uint8_t FBits = 0;
};

using TAnimationSet = TByteSet<TAnimationType>;
using TFontStyles = TByteSet<TFontStyle>;
static_assert(sizeof(TAnimationSet) == 1);

// A colour as 0x00BBGGRR, red in the low byte.
using TColor = std::uint32_t;

using TNotifyEvent = std::function<void(QObject *Sender)>;

class TText3D : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)

public:
    static constexpr unsigned GlyphListBase = 1000;
    static constexpr int GlyphCount = 255;    // codes 0 to 254; 255 is drawn through 223
    static constexpr int TransitionSteps = 40;
    static constexpr std::uint8_t DefaultCharset = 1; // the character set of the ordinary font
    static const QString InitCaption;

    explicit TText3D(QWidget *parent = nullptr);
    ~TText3D() override;

    TQualityType QualityType() const { return FQualityType; }
    void SetQualityType(TQualityType value);
    std::uint16_t RefreshDelay() const { return FRefreshDelay; }
    void SetRefreshDelay(std::uint16_t value);
    bool Active() const { return FActive; }
    void SetActive(bool value);
    const QStringList &Items() const { return FItems; }
    QStringList &Items() { return FItems; } // direct changes keep the page and its timing
    void SetItems(const QStringList &lines);
    TColor BackColor() const { return FBackColor; }
    void SetBackColor(TColor value) { FBackColor = value; }
    float AngleX() const { return FAngleX; }
    void SetAngleX(float value) { FAngleX = value; }
    float AngleY() const { return FAngleY; }
    void SetAngleY(float value) { FAngleY = value; }
    std::int32_t NewRowDelay() const { return FNewRowDelay; }
    void SetNewRowDelay(std::int32_t value) { FNewRowDelay = value; }
    float Scale() const { return FScale; }
    void SetScale(float value) { FScale = value; }
    std::uint16_t LinesCount() const { return FLinesCount; }
    void SetLinesCount(std::uint16_t value) { FLinesCount = value; }
    float LiteraDepth() const { return FLiteraDepth; }
    void SetLiteraDepth(float value) { FLiteraDepth = value; }
    float LiterasGap() const { return FLiterasGap; }
    void SetLiterasGap(float value) { FLiterasGap = value; }
    float LeftOffset() const { return FLeftOffset; }
    void SetLeftOffset(float value) { FLeftOffset = value; }
    float TopOffset() const { return FTopOffset; }
    void SetTopOffset(float value) { FTopOffset = value; }
    std::uint16_t VisionAngle() const { return FVisionAngle; }
    void SetVisionAngle(std::uint16_t value);
    TChangeStyle ChangeStyle() const { return FChangeStyle; }
    void SetChangeStyle(TChangeStyle value) { FChangeStyle = value; }
    float RowsGap() const { return FRowsGap; }
    void SetRowsGap(float value) { FRowsGap = value; }
    float WaveAmplitude() const { return FWaveAmplitude; }
    void SetWaveAmplitude(float value) { FWaveAmplitude = value; }
    const QString &FontName() const { return FFontName; }
    void SetFontName(const QString &value);
    std::int32_t FontSize() const { return FFontSize; }
    void SetFontSize(std::int32_t value);
    TFontStyles FontStyle() const { return FFontStyle; }
    void SetFontStyle(TFontStyles value);
    std::uint8_t FontCharset() const { return FFontCharset; }
    void SetFontCharset(std::uint8_t value);
    TColor FontColor() const { return FFontColor; }
    void SetFontColor(TColor value) { FFontColor = value; }
    std::uint8_t LightIntensity() const { return FLightIntensity; }
    void SetLightIntensity(std::uint8_t value) { FLightIntensity = value; }
    TAnimationSet AnimationSet() const { return FAnimationSet; }
    void SetAnimationSet(TAnimationSet value) { FAnimationSet = value; }
    std::uint16_t DefaultRotationPeriod() const { return FDefaultRotationPeriod; }
    void SetDefaultRotationPeriod(std::uint16_t value) { FDefaultRotationPeriod = value; }

    const TNotifyEvent &OnLinesChanging() const { return FOnLinesChanging; }
    void SetOnLinesChanging(TNotifyEvent handler) { FOnLinesChanging = std::move(handler); }
    const TNotifyEvent &OnAnimateCycleDone() const { return FOnAnimateCycleDone; }
    void SetOnAnimateCycleDone(TNotifyEvent handler) { FOnAnimateCycleDone = std::move(handler); }
    void SetOnClick(TNotifyEvent handler) { FOnClick = std::move(handler); }
    void SetOnDblClick(TNotifyEvent handler) { FOnDblClick = std::move(handler); }

    // The panel.
    const QString &Caption() const { return FCaption; }
    void SetCaption(const QString &value);
    TBevelCut BevelInner() const { return FBevelInner; }
    void SetBevelInner(TBevelCut value);
    TBevelCut BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TBevelCut value);
    int BevelWidth() const { return FBevelWidth; }
    void SetBevelWidth(int value);
    int BorderWidth() const { return FBorderWidth; }
    void SetBorderWidth(int value);

    // The state of the paging and the animations.
    std::uint16_t FirstRow() const { return FFirstRow; }
    std::uint16_t RowsShown() const { return FRowsShown; }
    TChangePhase ChangePhase() const { return FChangePhase; }
    std::int32_t FrameCount() const { return FFrameCount; }
    std::int32_t StepCount() const { return FStepCount; }
    bool RefreshTimerEnabled() const { return FRefreshTimerEnabled; }
    const QTimer &RefreshTimer() const { return FRefreshTimer; }

    // The font that measures text widths, and its size in points.
    const QFont &MeasureFont() const { return FMeasureFont; }
    std::int32_t MeasureFontSize() const { return FMeasureFontSize; }
    std::uint8_t MeasureFontCharset() const { return FMeasureFontCharset; }

    // The OpenGL view of an active control (null while inactive, and on a
    // platform without OpenGL windows); HasRenderContext tells whether its
    // context has been made.
    QWidget *GLView() const;
    bool HasRenderContext() const;
    // How many times the glyph lists have been built.
    int GlyphListBuilds() const { return FGlyphListBuilds; }

    // Sends the projection and frame calls to `calls` instead of the
    // control's context, for inspecting them; null returns them to it.
    void SetCalls(TText3DCalls *calls) { FCallsOverride = calls; }

public slots:
    // One frame: the refresh timer's tick.
    void RenderFrame();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    friend class TText3DView;

    // A line as drawn: its codes in the Cyrillic code page and the text they stand for.
    struct TLine {
        QByteArray Codes;
        QString Text;
    };

    void MakeWindowOpenGLCapable();
    void Activate();
    void Deactivate();
    void Restart();
    void SetRefreshTimerEnabled(bool enabled);
    void InitOpenGL();
    void DoneOpenGL();
    void SetupPixelFormat();
    void ContextCreated();
    void UpdateProjection();
    TText3DCalls *ProjectionCalls();
    TText3DCalls &FrameCalls();
    bool CanDrawFrame() const;

    void PageTiming();
    bool DrawPage();
    bool SingleWaveBookkeeping();
    void ApplyLetterAnimations(int i, int charWidth);
    void DrawLitera(unsigned char code);
    bool DrawLinesIn();
    bool DrawLinesOut();
    void DrawTransitionLine(int n, int d, bool incoming);
    void SetMaterialColor(float red, float green, float blue, float alpha);
    bool RaiseEvent(const TNotifyEvent &handler);

    TLine LineAt(int index) const;
    double RestingHeight(int n) const;
    double LineWidth(const TLine &line) const;
    double ScaledGap() const { return FFontSize / 40.0 * FLiterasGap; }

    void SetMeasureFont(const QFont &font);
    void SetMeasureFontSize(std::int32_t points);

    TQualityType FQualityType = qtFastest;
    std::uint16_t FRefreshDelay = 10;
    bool FActive = false;
    QStringList FItems;
    TColor FBackColor = 0;
    float FAngleX = 0;
    float FAngleY = 0;
    std::int32_t FNewRowDelay = 3000;
    float FScale = 1.0f;
    std::uint16_t FLinesCount = 2;
    float FLiteraDepth = 1.5f;
    float FLiterasGap = 0;
    float FLeftOffset = 0;
    float FTopOffset = 0;
    std::uint16_t FVisionAngle = 30;
    TChangeStyle FChangeStyle = csDiffusion;
    float FRowsGap = 3.0f;
    float FWaveAmplitude = 0.3f;
    QString FFontName;
    std::int32_t FFontSize = 40;
    TFontStyles FFontStyle;
    std::uint8_t FFontCharset = DefaultCharset;
    TColor FFontColor = 0x00FF0000;
    std::uint8_t FLightIntensity = 127;
    TAnimationSet FAnimationSet{atSingleWave, atRotation};
    std::uint16_t FDefaultRotationPeriod = 6000;
    TNotifyEvent FOnLinesChanging;
    TNotifyEvent FOnAnimateCycleDone;
    TNotifyEvent FOnClick;
    TNotifyEvent FOnDblClick;

    QString FCaption;
    TBevelCut FBevelInner = bvNone;
    TBevelCut FBevelOuter = bvRaised;
    int FBevelWidth = 1;
    int FBorderWidth = 0;

    std::uint16_t FFirstRow = 0;
    std::uint16_t FRowsShown = 0;
    TChangePhase FChangePhase = cpAppear;
    std::int32_t FFrameCount = 0;
    std::int32_t FStepCount = 0;
    QTimer FRefreshTimer;
    bool FRefreshTimerEnabled = false;
    bool FDestroying = false;

    QFont FMeasureFont;
    QFontMetrics FMeasureMetrics{FMeasureFont};
    std::int32_t FMeasureFontSize = 0;
    std::uint8_t FMeasureFontCharset = DefaultCharset;

    std::unique_ptr<TText3DView> FView;   // the window of the rendering context
    TOpenGLText3DCalls FOpenGLCalls;
    TText3DCalls *FCallsOverride = nullptr;
    TText3DCalls *FCalls = &NullText3DCalls(); // where the current frame's calls go
    double FDeviation = 1000.0;
    unsigned FContextGeneration = 0;   // changes with every activation and deactivation
    int FActivationDepth = 0;
    QString FSavedCaption;
    bool FClickPending = false;
    int FGlyphListBuilds = 0;
};
