// The program run: application object, title, the six windows, message loop.
#pragma once

#include <functional>

class TForm1;

// Runs the program and returns its exit code. beforeLoop, when given, sees
// the main window after it is shown and before the message loop starts.
int RunProgram(int argc, char **argv, const std::function<void(TForm1 &)> &beforeLoop = {});
