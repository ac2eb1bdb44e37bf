// The overlay position file: "SAMPFUNCS\norvi_warnings.ini", section
// "key_pos", keys "key_x" and "key_y", holding game coordinates as "%f"
// text. The place is read once at start-up and written when the user has
// moved the overlay; the file is never re-read while the plugin runs.
#include "config/position.h"

#include "core/plugin.h"

#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

float overlayX = 0.0f;
float overlayY = 0.0f;

static const char positionFile[] = "SAMPFUNCS\\norvi_warnings.ini";
// The open test goes through the C++ library, which outside Windows takes
// `\` as part of a file name rather than as a folder separator.
#if defined(_WIN32)
static const char *const positionFileForStream = positionFile;
#else
static const char *const positionFileForStream = "SAMPFUNCS/norvi_warnings.ini";
#endif

static const char positionSection[] = "key_pos";
static const char keyX[] = "key_x";
static const char keyY[] = "key_y";

// The default place in game coordinates; y is the float nearest to
// 274.192596 (bit pattern 0x438918A7).
static const float defaultGameX = 457.0f;
static const float defaultGameY = 274.1925964355469f;

// A float widened to double takes at most 39 digits before the point with
// "%f", plus sign, point and six decimals.
static const int valueTextSize = 64;
// At most 127 characters of a stored value are seen.
static const unsigned readBufferSize = 128;

static void writeCoordinate(const char *key, float value) {
    char text[valueTextSize];
    // The buffer holds the longest "%f" text of a float, so it never cuts.
    (void)std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
    // A failed write (no SAMPFUNCS folder, say) is not reported: the next
    // start finds no file and writes the defaults again.
    WritePrivateProfileStringA(positionSection, key, text, positionFile);
}

// Whether the digits before the exponent of a number that the conversion
// accepted include one that is not zero; tells a value that rounded to
// zero from one that is zero.
static bool hasNonZeroDigit(const char *number, const char *end) {
    const char *p = number;
    while (p < end && std::isspace(static_cast<unsigned char>(*p)))
        p++;
    if (p < end && (*p == '+' || *p == '-'))
        p++;
    const bool hex = end - p >= 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X');
    if (hex)
        p += 2;
    for (; p < end; p++) {
        char c = *p;
        if (!hex && (c == 'e' || c == 'E'))
            break;
        if (hex && (c == 'p' || c == 'P'))
            break;
        if (c >= '1' && c <= '9')
            return true;
        if (hex && ((c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return true;
    }
    return false;
}

// The stored text as a game coordinate: leading blanks skipped, the
// longest numeric prefix rounded once to single precision (as strtof does),
// trailing text ignored. Text that is no number, and a value that is
// infinite, not a number, or outside the normal single-precision range,
// gives `fallback`, the default place's value for that axis.
static float textToCoordinate(const char *text, float fallback) {
    char *end = nullptr;
    float value = std::strtof(text, &end);
    if (end == text)
        return fallback;
    if (!std::isfinite(value))
        return fallback;
    if (value != 0.0f && std::fabs(value) < FLT_MIN)
        return fallback;
    if (value == 0.0f && hasNonZeroDigit(text, end))
        return fallback;
    return value;
}

static void writeDefaultPlace() {
    writeCoordinate(keyX, defaultGameX);
    writeCoordinate(keyY, defaultGameY);
}

static void readStoredPlace() {
    char buffer[readBufferSize] = {};
    float gameX = defaultGameX;
    float gameY = defaultGameY;
    if (GetPrivateProfileStringA(positionSection, keyX, nullptr, buffer, readBufferSize,
                                 positionFile) != 0)
        gameX = textToCoordinate(buffer, defaultGameX);
    if (GetPrivateProfileStringA(positionSection, keyY, nullptr, buffer, readBufferSize,
                                 positionFile) != 0)
        gameY = textToCoordinate(buffer, defaultGameY);

    SF->getGame()->convertGameCoordsToWindow(gameX, gameY, &overlayX, &overlayY);

    // A stored value near the top of the float range can grow past it on
    // the way to window pixels; that axis then takes the default place.
    if (!std::isfinite(overlayX) || !std::isfinite(overlayY)) {
        float defaultX = 0.0f, defaultY = 0.0f;
        SF->getGame()->convertGameCoordsToWindow(defaultGameX, defaultGameY, &defaultX, &defaultY);
        if (!std::isfinite(overlayX))
            overlayX = defaultX;
        if (!std::isfinite(overlayY))
            overlayY = defaultY;
    }
}

void loadOverlayPosition() {
    // Only whether the file can be opened for reading matters here; the
    // values are read through the profile functions.
    std::ifstream file(positionFileForStream, std::ios::in);
    bool readable = file.good();
    if (file.is_open())
        file.close();

    // The start that creates the file leaves the overlay where it is,
    // (0, 0); the default place is read back at the next start.
    if (!readable)
        writeDefaultPlace();
    else
        readStoredPlace();
}

void saveOverlayPosition() {
    float gameX = 0.0f, gameY = 0.0f;
    SF->getGame()->convertWindowCoordsToGame(overlayX, overlayY, &gameX, &gameY);
    writeCoordinate(keyX, gameX);
    writeCoordinate(keyY, gameY);
}
