#include "Unit1.h"

#include "ErrorReporting.h"
#include "MenuBarStyle.h"
#include "PersistedState.h"
#include "Registry.h"
#include "Unit2.h"
#include "Unit3.h"
#include "Unit4.h"
#include "Unit5.h"
#include "WindowOpacity.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QValidator>

#include <algorithm>
#include <limits>

TForm1 *Form1 = nullptr;

namespace {

const QColor FormColour(51, 134, 151);
const QColor FormTextColour(58, 58, 58);
const QColor EditColour(255, 223, 255);
const QColor RootBoxColour(0, 79, 117);

constexpr int ClientWidth = 565;
constexpr int ClientHeight = 287;
constexpr int LabelRight = 464; // the left edge of SpeedButton1

QFont PixelFont(const QString &family, int pixels, bool bold = false)
{
    QFont font(family);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

void SetColour(QWidget *widget, QPalette::ColorRole role, const QColor &colour)
{
    QPalette palette = widget->palette();
    palette.setColor(role, colour);
    widget->setPalette(palette);
}

QLabel *MakeLabel(QWidget *parent, const QString &caption, int left, int top)
{
    auto *label = new QLabel(caption, parent);
    label->setFont(PixelFont(QStringLiteral("Pragmatica"), 12));
    SetColour(label, QPalette::WindowText, Qt::white);
    // As wide as the free room left of the clear button, so that captions
    // set later in another language are not cut off.
    label->setGeometry(left, top, LabelRight - left, label->sizeHint().height());
    return label;
}

QToolButton *MakeImageButton(QWidget *parent, const QString &image, const QString &hint, int left)
{
    auto *button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setIcon(QIcon(image));
    button->setIconSize(QSize(18, 18));
    button->setToolTip(hint);
    button->setGeometry(left, 8, 41, 22);
    return button;
}

// A field never holds a NUL, as the platform's edit field cannot: what is put
// in keeps only what stands before its NUL, so the field shows exactly the
// text a command hands on. Text put in ends at the cursor; from its first NUL
// up to there it goes.
class TextBeforeNul : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString &input, int &cursor) const override
    {
        for (qsizetype nul = input.indexOf(QChar(0)); nul >= 0; nul = input.indexOf(QChar(0))) {
            const qsizetype end = std::max<qsizetype>(cursor, nul + 1);
            input.remove(nul, end - nul);
            cursor = static_cast<int>(std::min<qsizetype>(cursor, nul));
        }
        return Acceptable;
    }
};

QLineEdit *MakeEdit(QWidget *parent, int top)
{
    auto *edit = new QLineEdit(parent);
    // Texts of any length, as the platform's edit field takes them.
    edit->setMaxLength(std::numeric_limits<int>::max());
    edit->setValidator(new TextBeforeNul(edit));
    edit->setFont(PixelFont(QStringLiteral("MS Sans Serif"), 11, true));
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Base, EditColour);
    palette.setColor(QPalette::Text, FormTextColour);
    edit->setPalette(palette);
    edit->setGeometry(8, top, 441, 21);
    return edit;
}

QPushButton *MakeButton(QWidget *parent, const QString &caption, int left, int top)
{
    auto *button = new QPushButton(caption, parent);
    button->setAutoDefault(false);
    button->setGeometry(left, top, 121, 25);
    return button;
}

QRadioButton *MakeRootButton(QWidget *parent, const QString &caption, const QString &hint, int top)
{
    auto *button = new QRadioButton(caption, parent);
    button->setFont(PixelFont(QStringLiteral("Pasma"), 11));
    SetColour(button, QPalette::WindowText, Qt::white);
    button->setToolTip(hint);
    button->setGeometry(472, top, 81, 17);
    return button;
}

QAction *AddItem(QMenu *menu, const QString &caption, const QKeySequence &shortcut = {})
{
    QAction *item = menu->addAction(caption);
    item->setShortcut(shortcut);
    return item;
}

// Shows a dialog modally; afterwards the window that opened it is the active
// one again, as it was before, whatever the window manager does.
void ShowModal(QWidget *opener, QDialog *dialog)
{
    if (!dialog)
        return;
    dialog->exec();
    if (opener->isVisible())
        opener->activateWindow();
}

} // namespace

// The pictures live in a static library; their registration must be asked for.
static void LoadPictures()
{
    static const bool loaded = [] {
        Q_INIT_RESOURCE(vantor);
        return true;
    }();
    (void)loaded;
}

TForm1::TForm1(QWidget *parent) : QMainWindow(parent)
{
    LoadPictures();
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("Vantor  1.5  by  the  Vantor  team"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/vantor.png")));

    CreateControls();
    CreateMenu();
    ConnectHandlers();
    SetTabOrder();

    setFixedSize(ClientWidth, ClientHeight + MainMenu1->heightForWidth(ClientWidth));
    move(435, 290);
    ApplyOpacity();
}

TForm1::~TForm1() = default;

void TForm1::CreateControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setFixedSize(ClientWidth, ClientHeight);
    client->setAutoFillBackground(true);
    client->setFont(PixelFont(QStringLiteral("MS Sans Serif"), 11));
    QPalette palette = client->palette();
    palette.setColor(QPalette::Window, FormColour);
    palette.setColor(QPalette::WindowText, FormTextColour);
    palette.setColor(QPalette::ButtonText, FormTextColour);
    client->setPalette(palette);
    setCentralWidget(client);

    // Creation order is the stacking order: the root-key buttons come last,
    // so they lie over their group box.
    Label2 = MakeLabel(client, QStringLiteral("Путь"), 8, 64);
    Label3 = MakeLabel(client, QStringLiteral("Название ключа"), 8, 112);
    Label4 = MakeLabel(client, QStringLiteral("Поле ввода (создать, изменить значение) или вывода (читать значение)"),
                       8, 256);

    SpeedButton1 = new QToolButton(client);
    SpeedButton1->setAutoRaise(true);
    SpeedButton1->setFocusPolicy(Qt::NoFocus);
    SpeedButton1->setText(QStringLiteral("CLEAN  ALL "));
    SpeedButton1->setFont(PixelFont(QStringLiteral("MS Sans Serif"), 8));
    SetColour(SpeedButton1, QPalette::ButtonText, QApplication::palette().color(QPalette::WindowText));
    SpeedButton1->setGeometry(464, 256, 97, 17);
    SpeedButton2 = MakeImageButton(client, QStringLiteral(":/icons/presets.png"), QStringLiteral("Заготовки"), 512);
    SpeedButton3 = MakeImageButton(client, QStringLiteral(":/icons/settings.png"), QStringLiteral("Настройки..."), 8);
    SpeedButton4 = MakeImageButton(client, QStringLiteral(":/icons/protection.png"), QStringLiteral("Защита"), 72);

    Edit2 = MakeEdit(client, 40);
    Edit3 = MakeEdit(client, 88);
    Button1 = MakeButton(client, QStringLiteral("Создать ключ"), 8, 144);
    Button2 = MakeButton(client, QStringLiteral("Читать значение"), 168, 144);
    Button3 = MakeButton(client, QStringLiteral("Удалить значение"), 328, 144);
    Button4 = MakeButton(client, QStringLiteral("Изменить значение"), 8, 192);
    Button5 = MakeButton(client, QStringLiteral("Удалить ключ"), 328, 192);
    Button6 = MakeButton(client, QStringLiteral("Об авторе"), 168, 192);
    Edit4 = MakeEdit(client, 232);

    RadioGroup1 = new QGroupBox(QStringLiteral("Корневой ключ"), client);
    RadioGroup1->setGeometry(464, 40, 97, 201);
    RadioGroup1->setAutoFillBackground(true);
    RadioGroup1->setFocusPolicy(Qt::TabFocus);
    SetColour(RadioGroup1, QPalette::Window, RootBoxColour);
    SetColour(RadioGroup1, QPalette::WindowText, Qt::white);

    RadioButton1 = MakeRootButton(client, QStringLiteral(" HKCR"), QStringLiteral("HKEY_CLASSES_ROOT"), 80);
    RadioButton2 = MakeRootButton(client, QStringLiteral(" HKCU"), QStringLiteral("HKEY_CURRENT_USER"), 112);
    RadioButton3 = MakeRootButton(client, QStringLiteral(" HKLM"), QStringLiteral("HKEY_LOCAL_MACHINE"), 144);
    RadioButton4 = MakeRootButton(client, QStringLiteral(" HKU"), QStringLiteral("HKEY_USERS"), 176);
    RadioButton5 = MakeRootButton(client, QStringLiteral(" HKCC"), QStringLiteral("HKEY_CURRENT_CONFIG"), 208);

    Timer1 = new QTimer(this);
    Timer1->setInterval(5);
    Timer1->setTimerType(Qt::PreciseTimer);
}

void TForm1::CreateMenu()
{
    MainMenu1 = new QMenuBar(this);
    MainMenu1->setStyle(NewMenuBarStyle(MainMenu1));
    setMenuBar(MainMenu1);

    N1 = MainMenu1->addMenu(QStringLiteral("Файл"));
    N23 = AddItem(N1, QStringLiteral("Настройки"), Qt::Key_F6);
    N22 = AddItem(N1, QStringLiteral("Заготовки"), Qt::Key_F7);
    N26 = AddItem(N1, QStringLiteral("Защита"), Qt::Key_F9);
    N2 = AddItem(N1, QStringLiteral("Выход"), Qt::CTRL | Qt::Key_F4);

    N3 = MainMenu1->addMenu(QStringLiteral("Действия"));
    N4 = AddItem(N3, QStringLiteral("Создать ключ"), Qt::Key_F1);
    N5 = AddItem(N3, QStringLiteral("Читать значение"), Qt::Key_F2);
    N6 = AddItem(N3, QStringLiteral("Изменить значение"), Qt::Key_F3);
    N7 = AddItem(N3, QStringLiteral("Удалить значение"), Qt::Key_F4);
    N8 = AddItem(N3, QStringLiteral("Удалить ключ"), Qt::Key_F5);

    N11 = MainMenu1->addMenu(QStringLiteral("Заполнить поле"));
    N12 = AddItem(N11, QStringLiteral("Путь"), Qt::CTRL | Qt::Key_Q);
    N13 = AddItem(N11, QStringLiteral("Имя ключа"), Qt::CTRL | Qt::Key_W);
    N14 = AddItem(N11, QStringLiteral("Поле ввода"), Qt::CTRL | Qt::Key_E);
    N20 = AddItem(N11, QStringLiteral("Очистить все поля"), Qt::Key_F8);

    N15 = MainMenu1->addMenu(QStringLiteral("Язык"));
    N16 = AddItem(N15, QStringLiteral("Русский"), Qt::Key_F10);
    N17 = AddItem(N15, QStringLiteral("Украинский"), Qt::Key_F11);
    N18 = AddItem(N15, QStringLiteral("Английский"), Qt::Key_F12);
    for (QAction *item : {N16, N17, N18})
        item->setCheckable(true);

    N9 = MainMenu1->addMenu(QStringLiteral("Инфо"));
    N10 = AddItem(N9, QStringLiteral("Об авторе"), Qt::CTRL | Qt::Key_F9);

    N24 = MainMenu1->addMenu(QIcon(QStringLiteral(":/icons/templates.png")), QStringLiteral("Шаблоны"));
    N19 = N24->addMenu(QStringLiteral("Запомнить как"));
    QAction **storeItems[] = {&N111, &N21, &N32, &N42, &N52, &N62, &N72, &N82, &N92, &N102};
    QAction **recallItems[] = {&N110, &N25, &N31, &N41, &N51, &N61, &N71, &N81, &N91, &N101};
    for (int slot = 1; slot <= 10; ++slot)
        *storeItems[slot - 1] = AddItem(N19, QString::number(slot));
    for (int slot = 1; slot <= 10; ++slot)
        *recallItems[slot - 1] = AddItem(N24, QString::number(slot));
}

std::array<QAction *, 10> TForm1::TemplateRecallItems() const
{
    return {N110, N25, N31, N41, N51, N61, N71, N81, N91, N101};
}

std::array<QAction *, 10> TForm1::TemplateStoreItems() const
{
    return {N111, N21, N32, N42, N52, N62, N72, N82, N92, N102};
}

void TForm1::ConnectHandlers()
{
    const std::pair<QAbstractButton *, void (TForm1::*)()> buttons[] = {
        {Button1, &TForm1::Button1Click},           {Button2, &TForm1::Button2Click},
        {Button3, &TForm1::Button3Click},           {Button4, &TForm1::Button4Click},
        {Button5, &TForm1::Button5Click},           {Button6, &TForm1::Button6Click},
        {SpeedButton1, &TForm1::SpeedButton1Click}, {SpeedButton2, &TForm1::SpeedButton2Click},
        {SpeedButton3, &TForm1::SpeedButton3Click}, {SpeedButton4, &TForm1::SpeedButton4Click},
    };
    for (const auto &[button, handler] : buttons)
        ConnectHandler(button, &QAbstractButton::clicked, this, handler);

    const std::pair<QAction *, void (TForm1::*)()> items[] = {
        {N2, &TForm1::N2Click},     {N4, &TForm1::N4Click},     {N5, &TForm1::N5Click},
        {N6, &TForm1::N6Click},     {N7, &TForm1::N7Click},     {N8, &TForm1::N8Click},
        {N10, &TForm1::N10Click},   {N12, &TForm1::N12Click},   {N13, &TForm1::N13Click},
        {N14, &TForm1::N14Click},   {N16, &TForm1::N16Click},   {N17, &TForm1::N17Click},
        {N18, &TForm1::N18Click},   {N20, &TForm1::N20Click},   {N22, &TForm1::N22Click},
        {N23, &TForm1::N23Click},   {N26, &TForm1::N26Click},
        {N111, &TForm1::N111Click}, {N21, &TForm1::N21Click},   {N32, &TForm1::N32Click},
        {N42, &TForm1::N42Click},   {N52, &TForm1::N52Click},   {N62, &TForm1::N62Click},
        {N72, &TForm1::N72Click},   {N82, &TForm1::N82Click},   {N92, &TForm1::N92Click},
        {N102, &TForm1::N102Click}, {N110, &TForm1::N110Click}, {N25, &TForm1::N25Click},
        {N31, &TForm1::N31Click},   {N41, &TForm1::N41Click},   {N51, &TForm1::N51Click},
        {N61, &TForm1::N61Click},   {N71, &TForm1::N71Click},   {N81, &TForm1::N81Click},
        {N91, &TForm1::N91Click},   {N101, &TForm1::N101Click},
    };
    for (const auto &[item, handler] : items)
        ConnectHandler(item, &QAction::triggered, this, handler);

    ConnectHandler(Timer1, &QTimer::timeout, this, &TForm1::Timer1Timer);

    for (QLineEdit *edit : {Edit2, Edit3, Edit4})
        edit->installEventFilter(this);
}

void TForm1::SetTabOrder()
{
    const QWidget *order[] = {Edit2,   Edit3,       Button1,      Button2,      Button3,      Button4,     Button5,
                              Button6, Edit4,       RadioGroup1,  RadioButton1, RadioButton2, RadioButton3,
                              RadioButton4, RadioButton5};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(const_cast<QWidget *>(order[i - 1]), const_cast<QWidget *>(order[i]));
}

// True when the key is the shortcut of one of the window's menu items.
static bool IsMenuShortcut(const QMenuBar *menuBar, const QKeyEvent *key)
{
    const QKeySequence pressed(key->keyCombination());
    for (const QAction *item : menuBar->findChildren<QAction *>())
        if (!item->shortcut().isEmpty() && item->shortcut() == pressed)
            return true;
    return false;
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    // The fields would take some menu shortcuts as editing keys (Ctrl+E moves
    // to the end of the line); the menu goes first.
    if (event->type() == QEvent::ShortcutOverride && IsMenuShortcut(MainMenu1, static_cast<QKeyEvent *>(event))) {
        event->ignore();
        return true;
    }
    if (event->type() == QEvent::MouseButtonDblClick
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        const std::pair<QObject *, void (TForm1::*)()> fields[] = {
            {Edit2, &TForm1::Edit2DblClick}, {Edit3, &TForm1::Edit3DblClick}, {Edit4, &TForm1::Edit4DblClick}};
        for (const auto &[field, handler] : fields) {
            if (watched == field) {
                RunReportingFailures([&] { (this->*handler)(); });
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm1::SetAlphaBlend(bool on)
{
    alphaBlend_ = on;
    ApplyOpacity();
}

void TForm1::SetAlphaBlendValue(std::uint8_t level)
{
    alphaBlendValue_ = level;
    ApplyOpacity();
}

void TForm1::ApplyOpacity()
{
    ShowWindowOpacity(*this, alphaBlend_ ? alphaBlendValue_ / 255.0 : 1.0);
}

// The activation sequence runs once, on the first activation of the window.
bool TForm1::event(QEvent *event)
{
    const bool handled = QMainWindow::event(event);
    if (event->type() == QEvent::WindowActivate && !activated_) {
        activated_ = true;
        RunActivation();
    }
    return handled;
}

// A failure that stops the activation before the fade-in has started must not
// leave the window invisible: once the error box is dismissed it fades in.
void TForm1::RunActivation()
{
    const bool completed = RunReportingFailures([this] { FormActivate(); });
    if (!completed && !Timer1->isActive() && AlphaBlend())
        Timer1->start();
}

void TForm1::FormActivate()
{
    TRegistry passwordStore;
    RunPasswordGate(passwordStore);

    Timer1->start();

    TRegistry programKey;
    programKey.SelectRoot(PersistedState::ProgramKeyRoot);
    programKey.EnterKey(PersistedState::ProgramKeyPath, true);
    const std::string language = programKey.ReadText(PersistedState::LastLanguageValue);
    if (language == "0")
        ApplyFullCaptions(lgRussian);
    if (language == "1")
        ApplyFullCaptions(lgUkrainian);
    if (language == "2")
        ApplyFullCaptions(lgEnglish);
}

void TForm1::Timer1Timer()
{
    SetAlphaBlendValue(static_cast<std::uint8_t>(AlphaBlendValue() + 5));
    if (AlphaBlendValue() == 255) {
        Timer1->stop();
        SetAlphaBlend(false);
    }
}

// A failure of the close handler is shown, and the window closes all the
// same: the user is never kept in a window that cannot be closed.
void TForm1::closeEvent(QCloseEvent *event)
{
    RunReportingFailures([this] { FormClose(); });
    event->accept();
}

void TForm1::FormClose()
{
    if (StartupRefused)
        return;
    const std::string path = Edit2->text().toStdString();
    const std::string name = Edit3->text().toStdString();
    const std::string word = Edit4->text().toStdString();

    TRegistry programKey;
    programKey.SelectRoot(PersistedState::ProgramKeyRoot);
    programKey.EnterKey(PersistedState::ProgramKeyPath, true);
    programKey.WriteText(PersistedState::LastPathValue, path);
    programKey.WriteText(PersistedState::LastNameValue, name);
    programKey.WriteText(PersistedState::LastWordValue, word);

    const QString marker = N15->title();
    if (marker == QStringLiteral("Язык"))
        programKey.WriteText(PersistedState::LastLanguageValue, "0");
    if (marker == QStringLiteral("Мова"))
        programKey.WriteText(PersistedState::LastLanguageValue, "1");
    if (marker == QStringLiteral("Language"))
        programKey.WriteText(PersistedState::LastLanguageValue, "2");
}

void TForm1::N2Click() { close(); }

void TForm1::Button6Click() { ShowModal(this, AboutBox); }
void TForm1::N10Click() { ShowModal(this, AboutBox); }

void TForm1::SpeedButton2Click() { ShowModal(this, Form3); }
void TForm1::N22Click() { ShowModal(this, Form3); }

void TForm1::SpeedButton3Click() { ShowModal(this, Form4); }
void TForm1::N23Click() { ShowModal(this, Form4); }

void TForm1::SpeedButton4Click() { ShowModal(this, Form5); }
void TForm1::N26Click() { ShowModal(this, Form5); }
