// Helpers of the main-window tests.
#pragma once

#include "ProgramState.h"
#include "Unit1.h"
#include "Unit3.h"
#include "WindowTestSupport.h"

#include <QPushButton>
