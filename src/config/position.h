// The overlay's place on the screen, in window pixels, and the file that
// keeps it between starts.
#pragma once

// Top-left corner of the key column in window pixels; both 0 at load.
extern float overlayX;
extern float overlayY;

// Reads the stored place into overlayX/overlayY, or creates the file with
// the default place when it cannot be opened. Runs once at start-up.
void loadOverlayPosition();
// Stores the current place as game coordinates, key_x first, then key_y.
void saveOverlayPosition();
