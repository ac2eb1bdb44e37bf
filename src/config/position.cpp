// The overlay position file: "SAMPFUNCS\norvi_warnings.ini".
#include "config/position.h"

float overlayX = 0.0f;
float overlayY = 0.0f;
