// Helpers of the command tests: direct looks into the registry through the
// API, a check of the error box, and the three ways of running a command
// (button, menu item, function key).
#pragma once

#include "Registry.h"
#include "RegistryTree.h"
#include "Unit1.h"
#include "WindowTestSupport.h"

#include <QAction>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <optional>
#include <string>
#include <vector>

// Looks straight into the registry through the API, apart from TRegistry.
struct StoredValue {
    DWORD type = REG_NONE;
    std::string data;
};

inline std::optional<StoredValue> ValueOf(HKEY root, const std::string &path, const std::string &name)
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    StoredValue value;
    DWORD size = 0;
    std::optional<StoredValue> result;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &value.type, nullptr, &size) == ERROR_SUCCESS) {
        value.data.resize(size);
        if (RegQueryValueExA(key, name.c_str(), nullptr, &value.type, reinterpret_cast<BYTE *>(value.data.data()),
                             &size)
            == ERROR_SUCCESS) {
            value.data.resize(size);
            result = value;
        }
    }
    RegCloseKey(key);
    return result;
}

// The data a REG_SZ value holds for the text, its zero byte included.
inline StoredValue TextValue(const std::string &text) { return {REG_SZ, text + '\0'}; }

inline bool operator==(const StoredValue &a, const StoredValue &b) { return a.type == b.type && a.data == b.data; }

inline void PutValue(HKEY root, const std::string &path, const std::string &name, DWORD type, const std::string &data)
{
    HKEY key = nullptr;
    QCOMPARE(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
             ERROR_SUCCESS);
    QCOMPARE(RegSetValueExA(key, name.c_str(), 0, type, reinterpret_cast<const BYTE *>(data.data()),
                            static_cast<DWORD>(data.size())),
             ERROR_SUCCESS);
    RegCloseKey(key);
}

inline void PutText(HKEY root, const std::string &path, const std::string &name, const std::string &text)
{
    PutValue(root, path, name, REG_SZ, text + '\0');
}

inline void PutDword(HKEY root, const std::string &path, const std::string &name, std::uint32_t number)
{
    PutValue(root, path, name, REG_DWORD, std::string(reinterpret_cast<const char *>(&number), 4));
}

inline void MakeKey(HKEY root, const std::string &path)
{
    HKEY key = nullptr;
    QCOMPARE(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
             ERROR_SUCCESS);
    RegCloseKey(key);
}

constexpr const char *ProgramKey = "Software\\VTR";

// The error box showed this text (on its first line; a refused write adds the
// registry's reason on the next) and nothing else was shown.
#define VERIFY_ONE_ERROR_BOX(recorder, expected)                                                                    \
    do {                                                                                                             \
        QCOMPARE((recorder).boxes.size(), std::size_t(1));                                                           \
        QCOMPARE((recorder).boxes.front().icon, QMessageBox::Critical);                                              \
        QCOMPARE((recorder).boxes.front().text.section('\n', 0, 0), QString(expected));                             \
    } while (false)

// Opens the menu as a popup and clicks the item in it, as the user would.
inline void ClickMenuItem(QMenu *menu, QAction *item)
{
    menu->popup(QPoint(100, 100));
    QVERIFY(QTest::qWaitForWindowExposed(menu));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(item).center());
    QTRY_VERIFY(!menu->isVisible());
}

inline void Type(QLineEdit *field, const QString &text)
{
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Delete);
    // keyClicks passes Latin-1 only; Cyrillic letters go as key text.
    for (const QChar letter : text)
        QTest::sendKeyEvent(QTest::Click, field, Qt::Key_unknown, QString(letter), Qt::NoModifier);
}

// A key goes where the user's keys go: to the widget with the focus.
inline void Press(TForm1 &form, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QWidget *target = form.focusWidget() ? form.focusWidget() : &form;
    QTest::keyClick(target, key, modifiers);
}

enum TCommand { cmCreateKey, cmReadValue, cmChangeValue, cmDeleteValue, cmDeleteKey };
enum TTrigger { trButton, trMenu, trKey };

inline void Run(TForm1 &form, TCommand command, TTrigger trigger = trButton)
{
    QPushButton *buttons[] = {form.Button1, form.Button2, form.Button4, form.Button3, form.Button5};
    QAction *items[] = {form.N4, form.N5, form.N6, form.N7, form.N8};
    const Qt::Key keys[] = {Qt::Key_F1, Qt::Key_F2, Qt::Key_F3, Qt::Key_F4, Qt::Key_F5};
    switch (trigger) {
    case trButton:
        QTest::mouseClick(buttons[command], Qt::LeftButton);
        break;
    case trMenu:
        ClickMenuItem(form.N3, items[command]);
        break;
    case trKey:
        Press(form, keys[command]);
        break;
    }
}
