#include "Unit2.h"

#include "FontFaces.h"
#include "Text3D.h"
#include "WindowOpacity.h"

#include <QEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <qdrawutil.h>

TAboutBox *AboutBox = nullptr;

namespace {

QFont FormFont()
{
    QFont font(FontFaces::Resolve(QStringLiteral("MS Sans Serif")));
    font.setPixelSize(11); // 8 points
    return font;
}

void SetColour(QWidget *widget, QPalette::ColorRole role, QColor colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

// The program's icon: three stacked hive bars under a bold V on a teal tile.
QPixmap ProgramPicture(QSize size)
{
    QPixmap picture(size);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size.width() / 64.0, size.height() / 64.0);

    QLinearGradient tile(0, 0, 64, 64);
    tile.setColorAt(0, QColor(40, 150, 150));
    tile.setColorAt(1, QColor(20, 70, 90));
    painter.setPen(QPen(QColor(10, 40, 50), 2));
    painter.setBrush(tile);
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);

    painter.setPen(Qt::NoPen);
    const QColor hives[] = {QColor(250, 210, 90), QColor(240, 160, 70), QColor(220, 100, 70)};
    for (int k = 0; k < 3; ++k) {
        painter.setBrush(hives[k]);
        painter.drawRoundedRect(QRectF(12, 40 + k * 6.5, 40, 5), 2, 2);
    }

    QPainterPath vee;
    vee.moveTo(14, 9);
    vee.lineTo(23, 9);
    vee.lineTo(32, 30);
    vee.lineTo(41, 9);
    vee.lineTo(50, 9);
    vee.lineTo(36, 37);
    vee.lineTo(28, 37);
    vee.closeSubpath();
    painter.setBrush(Qt::white);
    painter.drawPath(vee);
    return picture;
}

QLabel *MakeLabel(QWidget *parent, const QString &text, QPoint at)
{
    auto *label = new QLabel(text, parent);
    label->setFont(FormFont());
    SetColour(label, QPalette::WindowText, Qt::black);
    label->move(at);
    label->adjustSize();
    return label;
}

} // namespace

TBevelPanel::TBevelPanel(QWidget *parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
}

void TBevelPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    qDrawShadePanel(&painter, rect(), palette(), true, 1);                          // outer, lowered
    qDrawShadePanel(&painter, rect().adjusted(1, 1, -1, -1), palette(), false, 1); // inner, raised
}

TAboutBox::TAboutBox(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    setWindowTitle(QStringLiteral("About VTR"));
    setWindowIcon(QIcon(ProgramPicture(QSize(64, 64))));
    resize(480, 361);
    setMinimumHeight(361);
    setMaximumHeight(361);
    setMaximumWidth(480);
    setAutoFillBackground(true);
    SetColour(this, QPalette::Window, QColor(180, 191, 155));
    setFont(FormFont());

    Panel1 = new TBevelPanel(this);
    Panel1->setGeometry(8, 8, 457, 185);
    SetColour(Panel1, QPalette::Window, QColor(83, 198, 194));
    SetColour(Panel1, QPalette::WindowText, Qt::white);
    Panel1->setFont(FormFont());

    ProgramIcon = new QLabel(Panel1);
    ProgramIcon->setGeometry(8, 8, 81, 73);
    ProgramIcon->setScaledContents(true);
    ProgramIcon->setPixmap(ProgramPicture(QSize(81, 73)));

    ProductName = MakeLabel(Panel1, QStringLiteral("Vantor"), QPoint(104, 16));
    Version = MakeLabel(Panel1, QStringLiteral("Version  1.5"), QPoint(104, 48));
    Copyright = MakeLabel(Panel1, QStringLiteral("Written by the Vantor team: a registry editor for those who know the key."),
                          QPoint(8, 96));
    Comments = MakeLabel(Panel1, QStringLiteral("Type the path, choose the root, press a key: no tree to wade through. "
                                                "Click the strip below to see the letters come alive."),
                         QPoint(8, 136));
    Comments->setWordWrap(true);
    Comments->setFixedWidth(441);
    Comments->adjustSize();

    Button1 = new QPushButton(QStringLiteral("O K"), this);
    Button1->setGeometry(184, 296, 89, 25);
    QFont buttonFont(FontFaces::Resolve(QStringLiteral("Bangkok")));
    buttonFont.setPixelSize(19);
    Button1->setFont(buttonFont);
    SetColour(Button1, QPalette::ButtonText, QColor(127, 127, 127));
    connect(Button1, &QPushButton::clicked, this, &TAboutBox::Button1Click);

    Text3D1 = new TText3D(this);
    Text3D1->setGeometry(8, 208, 457, 73);
    Text3D1->SetQualityType(qtFastest);
    Text3D1->SetRefreshDelay(10);
    Text3D1->SetActive(false);
    Text3D1->SetItems({QStringLiteral("Vantor 1.5"), QStringLiteral("Реестр по адресу"), QStringLiteral("Команда Vantor")});
    Text3D1->SetBackColor(0);
    Text3D1->SetAngleX(5.0f);
    Text3D1->SetNewRowDelay(3000);
    Text3D1->SetScale(1.0f);
    Text3D1->SetLinesCount(2);
    Text3D1->SetLiteraDepth(1.5f);
    Text3D1->SetLiterasGap(1.0f);
    Text3D1->SetVisionAngle(30);
    Text3D1->SetChangeStyle(csDiffusion);
    Text3D1->SetRowsGap(5.0f);
    Text3D1->SetWaveAmplitude(0.3f);
    Text3D1->SetFontName(QStringLiteral("Arial Cyr"));
    Text3D1->SetFontSize(65);
    Text3D1->SetFontStyle({});
    Text3D1->SetFontCharset(TText3D::DefaultCharset);
    Text3D1->SetFontColor(0x00C0C0C0);
    Text3D1->SetLightIntensity(127);
    Text3D1->SetAnimationSet({atSingleWave});
    Text3D1->SetDefaultRotationPeriod(6000);
    Text3D1->SetCaption(QStringLiteral("Кликните чтобы отобразить эффекты, потом дважды чтобы вернуться"));
    Text3D1->SetOnClick([this](QObject *) { Text3D1Click(); });
    Text3D1->SetOnDblClick([this](QObject *) { Text3D1DblClick(); });

    Timer1 = new QTimer(this);
    Timer1->setInterval(8);
    connect(Timer1, &QTimer::timeout, this, &TAboutBox::Timer1Timer);

    setTabOrder(Panel1, Button1);
    Button1->setFocus();
}

void TAboutBox::FormActivate()
{
    Timer1->stop();
    FAlphaBlend = true;
    FAlphaBlendValue = 255;
    ApplyAlphaBlend();
}

void TAboutBox::Button1Click()
{
    if (!Timer1->isActive()) // a running fade goes on at its own pace
        Timer1->start();
}

void TAboutBox::Timer1Timer()
{
    FAlphaBlendValue = std::uint8_t(FAlphaBlendValue - 5);
    ApplyAlphaBlend();
    if (FAlphaBlendValue == 0) {
        Timer1->stop(); // nothing is left to fade while the box is closed
        close();
    }
}

void TAboutBox::Text3D1Click()
{
    Text3D1->SetActive(true);
}

void TAboutBox::Text3D1DblClick()
{
    Text3D1->SetActive(false);
}

void TAboutBox::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        FormActivate();
}

void TAboutBox::showEvent(QShowEvent *event)
{
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    // Not every window manager activates a window as it appears; the box
    // must never open faded out.
    FormActivate();
    QDialog::showEvent(event);
}

void TAboutBox::ApplyAlphaBlend()
{
    ShowWindowOpacity(*this, FAlphaBlend ? FAlphaBlendValue / 255.0 : 1.0);
}
