#pragma once

#include "GsAppFrame.h"

// The framework tests' frame, defined with the dialog list in TestObjects.cpp.
extern CGsAppFrame g_TestFrame;

// Gives the test frame this program's module, as the program's start-up would.
void PrepareTestFrame();
