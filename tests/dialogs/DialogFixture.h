// The main window and the dialog under test, freshly made for each test on a
// registry of its own, with every message and error box recorded instead of
// shown.
#pragma once

#include "BoxRecorder.h"
#include "ProgramState.h"
#include "Unit1.h"

#include <QMessageBox>
#include <QString>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

template <typename Dialog>
class DialogFixture : public ::testing::Test {
protected:
    DialogFixture(Dialog *&global)
        : global_(global)
    {
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
    }

    ScratchRegistry registry_;
    BoxRecorder boxes_;
    std::unique_ptr<TForm1> form1_;
    std::unique_ptr<Dialog> dialog_;

private:
    Dialog *&global_;
};
