// The registry files the program opens at start (system.reg and user.reg),
// when it may not change them: the user is told once per run, in the window,
// before any other box of the start-up.
#pragma once

#include "Language.h"

#include <functional>

// One error box for each such file, unless the user made it read-only: which
// file, why, and that the program will not change it.
void TellUnchangeableHives(TLanguage language);

// Whether a box of this run told that the file will not be changed; a failed
// write to it would only repeat that box.
bool ToldUnchangeable(const char *fileName);

// Runs a step of the start-up; its failure goes to the error box, except a
// refused registry write once a file was told unchangeable: that is its cause.
void RunStartupStep(const std::function<void()> &step);
