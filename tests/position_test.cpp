// The overlay's place survives restarts in SAMPFUNCS\norvi_warnings.ini.
// The first start writes the default place; later starts read the stored
// game coordinates and convert them to window pixels.
#include "overlay_support.h"

#include <cfloat>

namespace fs = std::filesystem;
using namespace overlay;

namespace {

class PositionFile : public PluginTest {
  protected:
    // A new game session: the plugin loaded afresh and started.
    void restart() {
        plugin.reset();
        loadPlugin();
        host::clearEffects();
        host::runFrame();
    }
    // Restarts with a file holding these two values and returns where the
    // column is drawn.
    Place startWith(const std::string &x, const std::string &y) {
        writePositionFile(gameDir, "[key_pos]\r\nkey_x=" + x + "\r\nkey_y=" + y + "\r\n");
        restart();
        return drawnPlace();
    }
    static Lines profileWrites() {
        Lines writes;
        for (const std::string &line : host::effectLog())
            if (line.rfind("profile ", 0) == 0)
                writes.push_back(line);
        return writes;
    }
};

const std::string defaultFile = "[key_pos]\r\nkey_x=457.000000\r\nkey_y=274.192596\r\n";
const uint32_t defaultGameYBits = 0x438918A7; // 274.1925964355469

TEST_F(PositionFile, FirstStartWritesTheDefaultPlaceAndLeavesTheColumnAtTheCorner) {
    host::runFrame();

    EXPECT_EQ(profileWrites(),
              (Lines{"profile [key_pos] key_x=457.000000", "profile [key_pos] key_y=274.192596"}));
    for (const host::Effect &e : host::effects()) {
        if (const auto *write = std::get_if<host::ProfileWritten>(&e)) {
            EXPECT_EQ(write->path, "SAMPFUNCS\\norvi_warnings.ini");
        }
    }
    EXPECT_EQ(readFile(positionFile(gameDir)), defaultFile);

    Place place = drawnPlace();
    EXPECT_EQ(place.x, 0.0f);
    EXPECT_EQ(place.y, 0.0f);
}

TEST_F(PositionFile, NextStartReadsTheDefaultPlaceBackInWindowPixels) {
    host::runFrame();
    restart();
    EXPECT_TRUE(profileWrites().empty());

    float x, y;
    host::gameToWindow(457.0f, 274.1925964355469f, &x, &y);
    Place place = drawnPlace();
    EXPECT_EQ(place.x, x);
    EXPECT_EQ(place.y, y);

    // On a 640 x 448 window game coordinates are window pixels.
    host::setScreen(640, 448);
    restart();
    place = drawnPlace();
    EXPECT_EQ(place.x, 457.0f);
    EXPECT_EQ(bits(place.y), defaultGameYBits);
}

TEST_F(PositionFile, StoredTextIsReadAsItsLongestNumericPrefixRoundedOnce) {
    host::setScreen(640, 448);
    struct Case {
        std::string text;
        float value;
    };
    const Case cases[] = {
        {"300.5px", 300.5f},
        {"  \t42", 42.0f},
        {"\"55.5\"", 55.5f}, // the profile functions take off one pair of quotes
        {"-12.25", -12.25f},
        {"+7e1junk", 70.0f},
        {"1e", 1.0f},
        {".5.5", 0.5f},
        {"0x1.8p3", 12.0f},
        {"0x1.Cp7", 224.0f}, // a letter digit in a value that fits
        {"0.1", 0.1f},
        {"-0", -0.0f},
        // Just above the midpoint between 1 and the next float: one rounding
        // gives the upper float, a detour through double would give 1.
        {"1.0000000596046447753906251", 1.00000011920928955078125f},
        {"3.4028234e38", FLT_MAX},
        {"1.1754944e-38", FLT_MIN},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.text);
        Place place = startWith(c.text, c.text);
        EXPECT_EQ(bits(place.x), bits(c.value));
        EXPECT_EQ(bits(place.y), bits(c.value));
    }
}

TEST_F(PositionFile, AMissingOrUnusableValueTakesTheDefaultForItsAxisOnly) {
    host::setScreen(640, 448);
    const std::string unusable[] = {"", "abc", "-", ".", "px300", "inf", "-infinity", "nan", "1e39",
                                    "-3.5e38", "1e-39", "1e-50", "-1e-46", "0x1p-149",
                                    // Letter digits that round to zero.
                                    "0xAp-200", "-0x0.Fp-160"};
    for (const std::string &text : unusable) {
        SCOPED_TRACE("value \"" + text + "\"");
        Place place = startWith(text, "12.5");
        EXPECT_EQ(place.x, 457.0f);
        EXPECT_EQ(place.y, 12.5f);

        place = startWith("12.5", text);
        EXPECT_EQ(place.x, 12.5f);
        EXPECT_EQ(bits(place.y), defaultGameYBits);
    }
    EXPECT_TRUE(profileWrites().empty());
}

TEST_F(PositionFile, AMissingKeyIsNotReadFromTheOtherKeysText) {
    host::setScreen(640, 448);
    writePositionFile(gameDir, "[key_pos]\r\nkey_x=12.5\r\n");
    restart();
    Place place = drawnPlace();
    EXPECT_EQ(place.x, 12.5f);
    EXPECT_EQ(bits(place.y), defaultGameYBits);

    writePositionFile(gameDir, "[other]\r\nkey_x=1\r\nkey_y=2\r\n");
    restart();
    place = drawnPlace();
    EXPECT_EQ(place.x, 457.0f);
    EXPECT_EQ(bits(place.y), defaultGameYBits);
    // The file exists, so nothing is written to it.
    EXPECT_TRUE(profileWrites().empty());
}

TEST_F(PositionFile, ASectionGivenTwiceIsReadFromTheFirstOnly) {
    host::setScreen(640, 448);
    writePositionFile(gameDir, "[key_pos]\r\nkey_x=12.5\r\n[other]\r\nkey_y=1\r\n"
                               "[key_pos]\r\nkey_x=99\r\nkey_y=77\r\n");
    restart();
    Place place = drawnPlace();
    EXPECT_EQ(place.x, 12.5f);
    EXPECT_EQ(bits(place.y), defaultGameYBits); // not the second section's 77
}

TEST_F(PositionFile, LinesEndingInABareCarriageReturnAreSeparateLines) {
    host::setScreen(640, 448);
    for (const std::string &file : {std::string("[key_pos]\rkey_x=12.5\rkey_y=30\r"),
                                    std::string("[key_pos]\r\nkey_x=12.5\rkey_y=30\n")}) {
        SCOPED_TRACE(file);
        writePositionFile(gameDir, file);
        restart();
        Place place = drawnPlace();
        EXPECT_EQ(place.x, 12.5f);
        EXPECT_EQ(place.y, 30.0f);
    }
}

TEST_F(PositionFile, OnlyTheFirst127CharactersOfAValueAreSeen) {
    host::setScreen(640, 448);
    Place place = startWith(std::string(126, '0') + "12", std::string(125, '0') + "12");
    EXPECT_EQ(place.x, 1.0f);  // 128 characters: the last one is cut
    EXPECT_EQ(place.y, 12.0f); // 127 characters: read whole
}

TEST_F(PositionFile, AValueTooLargeForTheWindowTakesTheConvertedDefaultForItsAxis) {
    // 1920 x 1080: three window pixels per game unit across, about 2.4 down.
    float defaultX, defaultY;
    host::gameToWindow(457.0f, 274.1925964355469f, &defaultX, &defaultY);

    Place place = startWith("3e38", "100");
    EXPECT_EQ(place.x, defaultX);
    EXPECT_EQ(place.y, 100.0f * (1080.0f / 448.0f));

    place = startWith("100", "3e38");
    EXPECT_EQ(place.x, 300.0f);
    EXPECT_EQ(place.y, defaultY);
}

TEST_F(PositionFile, WithoutTheSampfuncsFolderTheWriteFailsAndTheNextStartTriesAgain) {
    fs::remove_all(gameDir / "SAMPFUNCS");
    host::runFrame();
    EXPECT_EQ(profileWrites(), (Lines{"profile [key_pos] key_x=457.000000 (failed)",
                                      "profile [key_pos] key_y=274.192596 (failed)"}));
    EXPECT_EQ(host::effectLog().back().rfind("chat 00009BCD ", 0), 0u); // start-up went on
    Place place = drawnPlace();
    EXPECT_EQ(place.x, 0.0f);
    EXPECT_EQ(place.y, 0.0f);

    restart();
    EXPECT_EQ(profileWrites().size(), 2u);
    EXPECT_FALSE(fs::exists(gameDir / "SAMPFUNCS"));

    fs::create_directory(gameDir / "SAMPFUNCS");
    restart();
    EXPECT_EQ(profileWrites(),
              (Lines{"profile [key_pos] key_x=457.000000", "profile [key_pos] key_y=274.192596"}));
    EXPECT_EQ(readFile(positionFile(gameDir)), defaultFile);
}

TEST_F(PositionFile, TheFileIsReadOnceAtStartUp) {
    host::setScreen(640, 448);
    Place place = startWith("10", "20");
    writePositionFile(gameDir, "[key_pos]\r\nkey_x=50\r\nkey_y=60\r\n");
    host::runFrames(5);
    place = drawnPlace();
    EXPECT_EQ(place.x, 10.0f);
    EXPECT_EQ(place.y, 20.0f);
    EXPECT_TRUE(profileWrites().empty());
}

class StartUpOrder : public PluginTest {};

TEST_F(StartUpOrder, PositionFontCommandHooksThenTheLoadMessage) {
    host::runFrame();
    EXPECT_EQ(host::effectLog(),
              (Lines{"profile [key_pos] key_x=457.000000", "profile [key_pos] key_y=274.192596",
                     "font Tahoma 11 5", "command norvi_setpos", "d3d 17", "raknet 3", "raknet 2",
                     "chat 00009BCD {BEBEBE}norvi warnings {44FF44}successfully {BEBEBE}loaded "
                     "// author: {FF4444}kesmaro"}));
}

} // namespace
