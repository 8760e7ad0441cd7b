// Shared helpers of the tests that drive the program's windows: a registry of
// their own, a record of the boxes that would have been shown, and the test
// entry.
#pragma once

#include "Application.h"
#include "ErrorReporting.h"

#include <vantor_registry.h>

#include <QAbstractButton>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

// A fresh, empty registry directory for one test; the previous one is left.
class ScratchRegistry {
public:
    ScratchRegistry()
    {
        QVERIFY(dir_.isValid());
        // The copies the delete commands keep stay in the scratch folder too.
        qputenv("XDG_STATE_HOME", (dir_.path() + "/state").toUtf8());
        Reload();
    }
    ~ScratchRegistry() { VtrRegReset(nullptr); }
    ScratchRegistry(const ScratchRegistry &) = delete;
    ScratchRegistry &operator=(const ScratchRegistry &) = delete;

    QString Path() const { return dir_.path(); }
    // Saves everything and forgets what is held in memory, as at the end of
    // one run of the program and the start of the next.
    void Reload() { QCOMPARE(VtrRegReset(dir_.path().toUtf8().constData()), ERROR_SUCCESS); }
    // Makes the hive file unreadable for the engine, which then keeps the
    // hive read-only: every write is refused.
    void GarbleHive(const char *file)
    {
        QFile hive(dir_.filePath(QString::fromLatin1(file)));
        QVERIFY(hive.open(QIODevice::WriteOnly));
        hive.write("\x01\x02 this is no registry file \xff\n");
        hive.close();
        Reload();
    }

private:
    QTemporaryDir dir_;
};

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
