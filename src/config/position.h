// The overlay's place on the screen, in window pixels, and the file that
// keeps it between starts.
#pragma once

extern float overlayX;
extern float overlayY;
