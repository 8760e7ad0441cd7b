// A run of the program inside a test: a registry of its own and the six
// windows, created in the program's order and published through the same
// globals the program uses.
#pragma once

#include "BoxRecorder.h"
#include "ProgramState.h"
#include "ScratchRegistry.h"

#include <gtest/gtest.h>

#include <QString>

#include <functional>
#include <string>
#include <vector>

class ProgramFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Creates the six windows, as the program entry does.
    void StartProgram();
    // Closes the main window (its close handler stores the fields and the
    // language) and destroys the windows; the registry is written out.
    void EndProgram();
    // The main window's first activation, as at start-up.
    void Activate();

    // The error boxes and message dialogs shown, which the fixture dismisses
    // at once. Tests that expect none leave it empty.
    BoxRecorder boxes_;

private:
    void DestroyWindows();
    ScratchRegistry registry_;
    bool running_ = false;
};

// Runs work once the next modal window is up, with the nested loop running.
void WhenModalShown(std::function<void()> work);
