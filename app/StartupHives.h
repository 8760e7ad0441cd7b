// The registry files the program opens at start (system.reg and user.reg),
// when it may not change them: the user is told once per run, in the window,
// before any other box of the start-up.
#pragma once

#include "Language.h"

#include <functional>

class ERegistryException;

// One error box for each such file, unless the user made it read-only: which
// file, and why the program will not change it. The registry then knows the
// refusal was told.
void TellUnchangeableHives(TLanguage language);

// Whether the failure is a refusal the user was told already: another box
// would only repeat it.
bool AlreadyTold(const ERegistryException &failure);

// Runs a step of the start-up; its failure goes to the error box, unless it
// is a refusal told already.
void RunStartupStep(const std::function<void()> &step);
