// The main window as built: controls, looks, menu, tab order, window frame.
#include "TestSupport.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init() { registry_ = std::make_unique<ScratchRegistry>(); }
    void cleanup() { registry_.reset(); }

    void controlsSitAtTheirPlacesWithTheirCaptions();
    void controlsHaveTheirColoursAndFonts();
    void rootButtonsLieOverTheirBoxAndExcludeOneAnother();
    void menuHasEveryItemCaptionAndShortcut();
    void templatesMenuHasItsSlotsAndBitmap();
    void tabKeyWalksTheFieldsAndButtonsInOrder();
    void windowIsFixedWithoutMaximiseAndHasItsIcon();
    void screenshot();

private:
    std::unique_ptr<ScratchRegistry> registry_;
};

namespace {

struct Place {
    QWidget *widget;
    QRect rect;
    QString caption;
    QString hint;
};

QString CaptionOf(QWidget *widget)
{
    if (auto *button = qobject_cast<QAbstractButton *>(widget))
        return button->text();
    if (auto *box = qobject_cast<QGroupBox *>(widget))
        return box->title();
    if (auto *label = qobject_cast<QLabel *>(widget))
        return label->text();
    if (auto *edit = qobject_cast<QLineEdit *>(widget))
        return edit->text();
    return {};
}

} // namespace

void MainWindowTest::controlsSitAtTheirPlacesWithTheirCaptions()
{
    TForm1 form;
    const Place places[] = {
        {form.SpeedButton3, {8, 8, 41, 22}, {}, "Настройки..."},
        {form.SpeedButton4, {72, 8, 41, 22}, {}, "Защита"},
        {form.SpeedButton2, {512, 8, 41, 22}, {}, "Заготовки"},
        {form.Edit2, {8, 40, 441, 21}, {}, {}},
        {form.Edit3, {8, 88, 441, 21}, {}, {}},
        {form.Button1, {8, 144, 121, 25}, "Создать ключ", {}},
        {form.Button2, {168, 144, 121, 25}, "Читать значение", {}},
        {form.Button3, {328, 144, 121, 25}, "Удалить значение", {}},
        {form.Button4, {8, 192, 121, 25}, "Изменить значение", {}},
        {form.Button6, {168, 192, 121, 25}, "Об авторе", {}},
        {form.Button5, {328, 192, 121, 25}, "Удалить ключ", {}},
        {form.Edit4, {8, 232, 441, 21}, {}, {}},
        {form.SpeedButton1, {464, 256, 97, 17}, "CLEAN  ALL ", {}},
        {form.RadioGroup1, {464, 40, 97, 201}, "Корневой ключ", {}},
        {form.RadioButton1, {472, 80, 81, 17}, " HKCR", "HKEY_CLASSES_ROOT"},
        {form.RadioButton2, {472, 112, 81, 17}, " HKCU", "HKEY_CURRENT_USER"},
        {form.RadioButton3, {472, 144, 81, 17}, " HKLM", "HKEY_LOCAL_MACHINE"},
        {form.RadioButton4, {472, 176, 81, 17}, " HKU", "HKEY_USERS"},
        {form.RadioButton5, {472, 208, 81, 17}, " HKCC", "HKEY_CURRENT_CONFIG"},
    };
    for (const Place &place : places) {
        QCOMPARE(place.widget->parentWidget(), form.centralWidget());
        QCOMPARE(place.widget->geometry(), place.rect);
        QCOMPARE(CaptionOf(place.widget), place.caption);
        QCOMPARE(place.widget->toolTip(), place.hint);
    }
    const Place labels[] = {
        {form.Label2, {}, "Путь", {}},
        {form.Label3, {}, "Название ключа", {}},
        {form.Label4, {}, "Поле ввода (создать, изменить значение) или вывода (читать значение)", {}},
    };
    const int tops[] = {64, 112, 256};
    for (std::size_t i = 0; i < std::size(labels); ++i) {
        QCOMPARE(labels[i].widget->pos(), QPoint(8, tops[i]));
        QCOMPARE(CaptionOf(labels[i].widget), labels[i].caption);
        QVERIFY(labels[i].widget->geometry().right() < form.SpeedButton1->x());
    }
    // The longest caption of the value field's label, in any language, fits.
    const QFontMetrics metrics(form.Label4->font());
    for (const char *caption :
         {"Поле ввода (создать, изменить значение) или вывода (читать значение)",
          "Поле введення (створити, змінити значення) чи виведення (читати значення)",
          "Field of input (create, change value) or output (read value)"})
        QVERIFY2(metrics.horizontalAdvance(QString::fromUtf8(caption)) <= form.Label4->width(), caption);
    for (QToolButton *button : {form.SpeedButton2, form.SpeedButton3, form.SpeedButton4})
        QVERIFY(!button->icon().isNull());
    QCOMPARE(form.Timer1->interval(), 5);
    QVERIFY(!form.Timer1->isActive());
    for (QRadioButton *button :
         {form.RadioButton1, form.RadioButton2, form.RadioButton3, form.RadioButton4, form.RadioButton5})
        QVERIFY(!button->isChecked());
    for (QLineEdit *edit : {form.Edit2, form.Edit3, form.Edit4})
        QVERIFY(edit->text().isEmpty());
}

void MainWindowTest::controlsHaveTheirColoursAndFonts()
{
    TForm1 form;
    QWidget *client = form.centralWidget();
    QCOMPARE(client->size(), QSize(565, 287));
    QCOMPARE(client->palette().color(QPalette::Window), QColor(51, 134, 151));
    QVERIFY(client->autoFillBackground());
    QCOMPARE(client->font().family(), QStringLiteral("MS Sans Serif"));
    QCOMPARE(client->font().pixelSize(), 11);
    QCOMPARE(form.Button1->palette().color(QPalette::ButtonText), QColor(58, 58, 58));

    for (QLineEdit *edit : {form.Edit2, form.Edit3, form.Edit4}) {
        QCOMPARE(edit->palette().color(QPalette::Base), QColor(255, 223, 255));
        QCOMPARE(edit->palette().color(QPalette::Text), QColor(58, 58, 58));
        QCOMPARE(edit->font().pixelSize(), 11);
        QVERIFY(edit->font().bold());
    }
    for (QLabel *label : {form.Label2, form.Label3, form.Label4}) {
        QCOMPARE(label->font().family(), QStringLiteral("Pragmatica"));
        QCOMPARE(label->font().pixelSize(), 12);
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(Qt::white));
    }
    QCOMPARE(form.RadioGroup1->palette().color(QPalette::Window), QColor(0, 79, 117));
    QCOMPARE(form.RadioGroup1->palette().color(QPalette::WindowText), QColor(Qt::white));
    for (QRadioButton *button :
         {form.RadioButton1, form.RadioButton2, form.RadioButton3, form.RadioButton4, form.RadioButton5}) {
        QCOMPARE(button->font().family(), QStringLiteral("Pasma"));
        QCOMPARE(button->font().pixelSize(), 11);
        QCOMPARE(button->palette().color(QPalette::WindowText), QColor(Qt::white));
    }
    QCOMPARE(form.SpeedButton1->font().pixelSize(), 8);

    // The faces that do not exist here are drawn by a real face all the same.
    for (QWidget *widget : std::initializer_list<QWidget *>{form.Label2, form.RadioButton1, form.Edit2})
        QVERIFY(!QFontInfo(widget->font()).family().isEmpty());
}

void MainWindowTest::rootButtonsLieOverTheirBoxAndExcludeOneAnother()
{
    TForm1 form;
    QWidget *client = form.centralWidget();
    const QObjectList children = client->children();
    const auto stackIndex = [&](QWidget *widget) { return children.indexOf(widget); };
    QRadioButton *buttons[] = {form.RadioButton1, form.RadioButton2, form.RadioButton3, form.RadioButton4,
                               form.RadioButton5};
    for (QRadioButton *button : buttons) {
        QVERIFY(stackIndex(button) > stackIndex(form.RadioGroup1));
        QCOMPARE(client->childAt(button->geometry().center()), button);
    }
    // Creation order is the stacking order.
    QVERIFY(stackIndex(form.Label2) < stackIndex(form.SpeedButton1));
    QVERIFY(stackIndex(form.SpeedButton4) < stackIndex(form.Edit2));
    QVERIFY(stackIndex(form.Button6) < stackIndex(form.Edit4));
    QVERIFY(stackIndex(form.Edit4) < stackIndex(form.RadioGroup1));

    ShowAndActivate(form);
    QTest::mouseClick(form.RadioButton3, Qt::LeftButton);
    QVERIFY(form.RadioButton3->isChecked());
    QTest::mouseClick(form.RadioButton5, Qt::LeftButton);
    QVERIFY(form.RadioButton5->isChecked());
    QVERIFY(!form.RadioButton3->isChecked());
    form.SetAlphaBlend(false);
}

void MainWindowTest::menuHasEveryItemCaptionAndShortcut()
{
    TForm1 form;
    const QList<QAction *> top = form.MainMenu1->actions();
    const QMenu *menus[] = {form.N1, form.N3, form.N11, form.N15, form.N9, form.N24};
    const char *titles[] = {"Файл", "Действия", "Заполнить поле", "Язык", "Инфо", "Шаблоны"};
    QCOMPARE(top.size(), qsizetype(std::size(menus)));
    for (std::size_t i = 0; i < std::size(menus); ++i) {
        QCOMPARE(top[i], menus[i]->menuAction());
        QCOMPARE(menus[i]->title(), QString::fromUtf8(titles[i]));
    }

    struct Item {
        QMenu *menu;
        QAction *item;
        const char *caption;
        QKeySequence shortcut;
    };
    const Item items[] = {
        {form.N1, form.N23, "Настройки", Qt::Key_F6},
        {form.N1, form.N22, "Заготовки", Qt::Key_F7},
        {form.N1, form.N26, "Защита", Qt::Key_F9},
        {form.N1, form.N2, "Выход", Qt::CTRL | Qt::Key_F4},
        {form.N3, form.N4, "Создать ключ", Qt::Key_F1},
        {form.N3, form.N5, "Читать значение", Qt::Key_F2},
        {form.N3, form.N6, "Изменить значение", Qt::Key_F3},
        {form.N3, form.N7, "Удалить значение", Qt::Key_F4},
        {form.N3, form.N8, "Удалить ключ", Qt::Key_F5},
        {form.N11, form.N12, "Путь", Qt::CTRL | Qt::Key_Q},
        {form.N11, form.N13, "Имя ключа", Qt::CTRL | Qt::Key_W},
        {form.N11, form.N14, "Поле ввода", Qt::CTRL | Qt::Key_E},
        {form.N11, form.N20, "Очистить все поля", Qt::Key_F8},
        {form.N15, form.N16, "Русский", Qt::Key_F10},
        {form.N15, form.N17, "Украинский", Qt::Key_F11},
        {form.N15, form.N18, "Английский", Qt::Key_F12},
        {form.N9, form.N10, "Об авторе", Qt::CTRL | Qt::Key_F9},
    };
    QMap<QMenu *, QList<QAction *>> expected;
    for (const Item &item : items) {
        QCOMPARE(item.item->text(), QString::fromUtf8(item.caption));
        QCOMPARE(item.item->shortcut(), item.shortcut);
        expected[item.menu] << item.item;
    }
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QCOMPARE(it.key()->actions(), it.value());
    for (QAction *language : {form.N16, form.N17, form.N18}) {
        QVERIFY(language->isCheckable());
        QVERIFY(!language->isChecked());
    }

    // Shortcuts act on the active window.
    TForm3 presets;
    Form3 = &presets;
    bool presetsShown = false;
    QTimer::singleShot(100, [&] {
        presetsShown = presets.isVisible() && QApplication::activeModalWidget() == &presets;
        presets.reject();
    });
    ShowAndActivate(form);
    QTest::keyClick(&form, Qt::Key_F7);
    Form3 = nullptr;
    QVERIFY(presetsShown);
    QVERIFY(QTest::qWaitForWindowActive(&form));

    QTest::keyClick(&form, Qt::Key_F12);
    QVERIFY(form.N18->isChecked());
    QTest::keyClick(&form, Qt::Key_F4, Qt::ControlModifier);
    QTRY_VERIFY(!form.isVisible());
}

void MainWindowTest::templatesMenuHasItsSlotsAndBitmap()
{
    TForm1 form;
    QVERIFY(!form.N24->icon().isNull());
    QVERIFY(form.N24->icon().pixmap(16).toImage().pixelColor(8, 8).alpha() > 0);

    const QList<QAction *> underTemplates = form.N24->actions();
    QCOMPARE(underTemplates.size(), 11);
    QCOMPARE(underTemplates.front(), form.N19->menuAction());
    QCOMPARE(form.N19->title(), QStringLiteral("Запомнить как"));
    const auto recall = form.TemplateRecallItems();
    const auto store = form.TemplateStoreItems();
    QCOMPARE(recall.front(), form.N110);
    QCOMPARE(recall.back(), form.N101);
    QCOMPARE(store.front(), form.N111);
    QCOMPARE(store.back(), form.N102);
    for (int slot = 1; slot <= 10; ++slot) {
        QCOMPARE(underTemplates[slot], recall[slot - 1]);
        QCOMPARE(form.N19->actions()[slot - 1], store[slot - 1]);
        QCOMPARE(recall[slot - 1]->text(), QString::number(slot));
        QCOMPARE(store[slot - 1]->text(), QString::number(slot));
        QVERIFY(recall[slot - 1]->shortcut().isEmpty());
        QVERIFY(store[slot - 1]->shortcut().isEmpty());
    }
}

void MainWindowTest::tabKeyWalksTheFieldsAndButtonsInOrder()
{
    TForm1 form;
    ShowAndActivate(form);
    QWidget *const expected[] = {form.Edit2,   form.Edit3,       form.Button1,      form.Button2,
                                 form.Button3, form.Button4,     form.Button5,      form.Button6,
                                 form.Edit4,   form.RadioGroup1, form.RadioButton1};
    form.Edit2->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), form.Edit2);
    for (std::size_t i = 1; i < std::size(expected); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), expected[i]);
    }

    // The whole chain, the radio buttons included, in the stated order. Qt
    // lets Tab enter a group of exclusive radio buttons once (the arrow keys
    // move inside it), so the chain itself is what is checked here.
    const QList<QWidget *> chain{form.Edit2,       form.Edit3,        form.Button1,      form.Button2,
                                form.Button3,     form.Button4,      form.Button5,      form.Button6,
                                form.Edit4,       form.RadioGroup1,  form.RadioButton1, form.RadioButton2,
                                form.RadioButton3, form.RadioButton4, form.RadioButton5};
    QList<QWidget *> walked{form.Edit2};
    for (QWidget *walker = form.Edit2->nextInFocusChain(); walker != form.Edit2; walker = walker->nextInFocusChain())
        if (chain.contains(walker))
            walked << walker;
    QCOMPARE(walked, chain);
    QTest::keyClick(form.RadioButton1, Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget(), form.RadioButton2);
    for (QWidget *untabbed : std::initializer_list<QWidget *>{form.SpeedButton1, form.SpeedButton2, form.SpeedButton3,
                                                             form.SpeedButton4, form.Label2})
        QVERIFY(!(untabbed->focusPolicy() & Qt::TabFocus));
    form.SetAlphaBlend(false);
}

void MainWindowTest::windowIsFixedWithoutMaximiseAndHasItsIcon()
{
    TForm1 form;
    QCOMPARE(form.minimumSize(), form.maximumSize());
    QCOMPARE(form.size().width(), 565);
    QCOMPARE(form.centralWidget()->height(), 287);
    const Qt::WindowFlags flags = form.windowFlags();
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowSystemMenuHint);
    QVERIFY(form.windowTitle().startsWith(QStringLiteral("Vantor  1.5  ")));
    QVERIFY(!form.windowTitle().contains(QStringLiteral("   ")));
    QCOMPARE(form.windowIcon().pixmap(64).size(), QSize(64, 64));
    QCOMPARE(QImage(QStringLiteral(":/icons/vantor.png")).size(), QSize(64, 64));

    // Created transparent, at its design place.
    QVERIFY(form.AlphaBlend());
    QCOMPARE(form.AlphaBlendValue(), std::uint8_t{0});
    QCOMPARE(form.windowOpacity(), 0.0);
    ShowAndActivate(form);
    QCOMPARE(form.pos(), QPoint(435, 290));
    QCOMPARE(form.centralWidget()->mapTo(&form, QPoint(0, 0)).y(), form.MainMenu1->height());
    QCOMPARE(form.size().height(), 287 + form.MainMenu1->height());
    form.SetAlphaBlend(false);
}

// Not a check: a picture of the window for a reviewer, in the build folder.
void MainWindowTest::screenshot()
{
    TForm1 form;
    ShowAndActivate(form);
    QTRY_VERIFY_WITH_TIMEOUT(!form.AlphaBlend(), 5000);
    const QString file = QStringLiteral(VANTOR_TEST_OUTPUT_DIR "/main-window.png");
    QVERIFY(form.grab().save(file));
    qInfo("main window picture: %s", qPrintable(file));
}

VANTOR_TEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
