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

// A box that no test asked for fails the running test at once, naming its
// text; it is never shown, so no test waits for a click that cannot come.
inline void ExpectNoBoxes()
{
    SetDialogHook([](QMessageBox &box) {
        QTest::qFail(qPrintable(QStringLiteral("unexpected box: \"%1\"").arg(box.text())), __FILE__, __LINE__);
        return true;
    });
}

// For as long as it lives, the boxes are really shown, for a test to close.
class RealBoxes {
public:
    RealBoxes() { SetDialogHook({}); }
    ~RealBoxes() { ExpectNoBoxes(); }
    RealBoxes(const RealBoxes &) = delete;
    RealBoxes &operator=(const RealBoxes &) = delete;
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
    ~BoxRecorder() { ExpectNoBoxes(); }
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
        ExpectNoBoxes();                                                                                             \
        TestClass test;                                                                                              \
        return QTest::qExec(&test, argc, argv);                                                                      \
    }
