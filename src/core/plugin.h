// The plugin's shared state and the entries the host calls. Every global
// here is a plain variable read and written only from the host's calls.
#pragma once

#include "SAMPFUNCS_API.h"

// The one framework object, created at load and never freed.
extern SAMPFUNCS *SF;

extern bool started;            // the start-up sequence has run
extern bool setposActive;       // the position-setting mode is on
extern stFontInfo *overlayFont; // the key overlay's font; null until start-up

void CALLBACK mainLoop();
