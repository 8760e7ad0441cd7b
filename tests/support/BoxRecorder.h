// The error boxes and message dialogs of a test, recorded instead of shown.
#pragma once

#include "ErrorReporting.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

#include <vector>

// One box as it would have appeared.
struct ShownBox {
    QMessageBox::Icon icon;
    QString title;
    QString text;
    QStringList buttons;
    bool okIsDefaultAndEscape;
    QString details; // the whole text, where the box shows it shortened
    int width;       // as laid out
};

// How the test framework of the running program fails the running test; its
// entry sets it once.
using TestFailure = void (*)(const QString &message);
inline TestFailure &FailTest()
{
    static TestFailure fail = [](const QString &) {};
    return fail;
}

// A box that no test asked for fails the running test at once, naming its
// text; it is never shown, so no test waits for a click that cannot come.
inline void ExpectNoBoxes()
{
    SetDialogHook([](QMessageBox &box) {
        FailTest()(QStringLiteral("unexpected box: \"%1\"").arg(box.text()));
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
            ShownBox shown{box.icon(), box.windowTitle(), box.text(), {}, false, box.detailedText(),
                           box.sizeHint().width()};
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
