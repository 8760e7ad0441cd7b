// Shared helpers of the main-window tests: a registry of their own, a record
// of the boxes shown, and the test entry.
#pragma once

#include "Application.h"
#include "ErrorReporting.h"
#include "Registry.h"
#include "Unit1.h"
#include "Unit3.h"

#include <vantor_registry.h>

#include <QAbstractButton>
#include <QPushButton>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

// A fresh, empty registry directory for one test; the previous one is left.
class ScratchRegistry {
public:
    ScratchRegistry() { QVERIFY(dir_.isValid()); Use(); }
    ~ScratchRegistry() { VtrRegReset(nullptr); }
    ScratchRegistry(const ScratchRegistry &) = delete;
    ScratchRegistry &operator=(const ScratchRegistry &) = delete;

    QString Path() const { return dir_.path(); }
    // Makes the hive file unreadable for the engine, which then keeps the
    // hive read-only: every write is refused.
    void GarbleHive(const char *file)
    {
        QFile hive(dir_.filePath(QString::fromLatin1(file)));
        QVERIFY(hive.open(QIODevice::WriteOnly));
        hive.write("\x01\x02 this is no registry file \xff\n");
        hive.close();
        Use();
    }

private:
    void Use() { QCOMPARE(VtrRegReset(dir_.path().toUtf8().constData()), ERROR_SUCCESS); }
    QTemporaryDir dir_;
};

inline std::string ReadProgramValue(const std::string &name)
{
    TRegistry access;
    access.SelectRoot(HKEY_LOCAL_MACHINE);
    access.EnterKey("Software\\VTR", true);
    return access.ReadText(name);
}

inline bool HasProgramValue(const std::string &name)
{
    TRegistry access;
    access.SelectRoot(HKEY_LOCAL_MACHINE);
    access.EnterKey("Software\\VTR", true);
    return access.HasValue(name);
}

inline void WriteProgramValue(const std::string &name, const std::string &text)
{
    TRegistry access;
    access.SelectRoot(HKEY_LOCAL_MACHINE);
    access.EnterKey("Software\\VTR", true);
    access.WriteText(name, text);
}

// One box as it would have appeared.
struct ShownBox {
    QMessageBox::Icon icon;
    QString title;
    QString text;
    QStringList buttons;
    bool okIsDefaultAndEscape;
};

// Records every box instead of showing it, for as long as it lives.
class BoxRecorder {
public:
    BoxRecorder()
    {
        SetDialogHook([this](QMessageBox &box) {
            ShownBox shown{box.icon(), box.windowTitle(), box.text(), {}, false};
            for (QAbstractButton *button : box.buttons())
                shown.buttons << button->text();
            shown.okIsDefaultAndEscape = box.buttons().size() == 1
                && static_cast<QAbstractButton *>(box.defaultButton()) == box.buttons().front()
                && box.escapeButton() == box.buttons().front();
            boxes.push_back(shown);
            return true;
        });
    }
    ~BoxRecorder() { SetDialogHook({}); }
    BoxRecorder(const BoxRecorder &) = delete;
    BoxRecorder &operator=(const BoxRecorder &) = delete;

    std::vector<ShownBox> boxes;
};

inline void ShowAndActivate(QWidget &window)
{
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
}

#define VANTOR_TEST_MAIN(TestClass)                                                                                  \
    int main(int argc, char **argv)                                                                                  \
    {                                                                                                                \
        TApplication application(argc, argv);                                                                        \
        SetApplicationTitle(QStringLiteral("Vantor 1.5"));                                                           \
        TestClass test;                                                                                              \
        return QTest::qExec(&test, argc, argv);                                                                      \
    }
