// The main window and the dialog under test, freshly made for each test on a
// registry of its own, with every message and error box recorded instead of
// shown.
#pragma once

#include "ErrorReporting.h"
#include "ProgramState.h"
#include "Unit1.h"

#include <QMessageBox>
#include <QString>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

struct ShownBox {
    QMessageBox::Icon icon;
    QString text;
};

template <typename Dialog>
class DialogFixture : public ::testing::Test {
protected:
    DialogFixture(Dialog *&global)
        : global_(global)
    {
        SetDialogHook([this](QMessageBox &box) {
            boxes_.push_back({box.icon(), box.text()});
            return true;
        });
        form1_ = std::make_unique<TForm1>();
        Form1 = form1_.get();
        dialog_ = std::make_unique<Dialog>();
        global_ = dialog_.get();
    }

    ~DialogFixture() override
    {
        global_ = nullptr;
        dialog_.reset();
        Form1 = nullptr;
        form1_.reset();
        SetDialogHook({});
    }

    ScratchRegistry registry_;
    std::vector<ShownBox> boxes_;
    std::unique_ptr<TForm1> form1_;
    std::unique_ptr<Dialog> dialog_;

private:
    Dialog *&global_;
};
