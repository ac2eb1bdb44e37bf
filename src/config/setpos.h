// The "norvi_setpos" chat command: the key column follows the mouse until
// a left click stores its place.
#pragma once

#include "SAMPFUNCS_API.h"

#include <string>

// The mode has shown the cursor: set on its first frame, cleared by the click.
extern bool cursorShown;

// Starts the mode unless a player is spectated; the words after the
// command are ignored.
void CALLBACK onSetposCommand(std::string params);
// One frame of the mode; the main loop runs it while setposActive is on.
void setposFrame();
