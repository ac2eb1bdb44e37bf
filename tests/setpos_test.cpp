// "norvi_setpos": the key column follows the mouse until a left click
// stores its place; refused while a player is spectated.
#include "overlay_support.h"

using namespace overlay;

namespace {

class Setpos : public PluginTest {
  protected:
    void SetUp() override {
        PluginTest::SetUp();
        // Game coordinates are window pixels on a 640 x 448 window, so the
        // stored values read as the cursor's places.
        host::setScreen(640, 448);
        writePositionFile(gameDir, "[key_pos]\r\nkey_x=10\r\nkey_y=20\r\n");
        startPlugin();
    }
    static void command(const std::string &words = "") {
        ASSERT_TRUE(host::typeCommand("norvi_setpos", words));
    }
    static int count(const Lines &log, const std::string &line) {
        return static_cast<int>(std::count(log.begin(), log.end(), line));
    }
};

// "[norvi warnings]: {BEBEBE}нужно выйти из режима наблюдения"
const std::string refusal = "[norvi warnings]: {BEBEBE}"
                            "\xED\xF3\xE6\xED\xEE \xE2\xFB\xE9\xF2\xE8 \xE8\xE7 "
                            "\xF0\xE5\xE6\xE8\xEC\xE0 \xED\xE0\xE1\xEB\xFE\xE4\xE5\xED\xE8\xFF";

TEST_F(Setpos, RefusedWhileSpectating) {
    spectate(3);
    host::setCursor(300, 200);
    host::clearEffects();
    command();
    ASSERT_EQ(host::effects().size(), 1u);
    const auto &line = std::get<host::ChatLine>(host::effects()[0]);
    EXPECT_EQ(line.colour, 0x00FF2B2Bu);
    EXPECT_EQ(line.text, refusal);

    // No cursor, and the column stays where the file put it.
    std::vector<host::TextDrawn> rows = drawFrame();
    EXPECT_EQ(host::effectLog().size(), 8u);
    EXPECT_EQ(rows[0].x, 10.0f);
    EXPECT_EQ(rows[0].y, 20.0f);
    stopSpectating();
    EXPECT_TRUE(drawFrame().empty());
}

TEST_F(Setpos, TheColumnFollowsTheCursorAndAClickStoresThePreviousFramesPlace) {
    command("");
    EXPECT_TRUE(host::effectLog().empty()); // the cursor waits for the next frame

    host::setCursor(100, 50);
    std::vector<host::TextDrawn> rows = drawFrame();
    EXPECT_EQ(host::effectLog().front(), "cursor shown");
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0].x, 100.0f);
    EXPECT_EQ(rows[0].y, 50.0f);

    host::setCursor(200, 80);
    drawFrame();
    host::setCursor(210, 85);
    host::setLeftButton(true);
    rows = drawFrame();
    Lines log = host::effectLog();
    ASSERT_GE(log.size(), 3u);
    EXPECT_EQ(log[0], "profile [key_pos] key_x=200.000000");
    EXPECT_EQ(log[1], "profile [key_pos] key_y=80.000000");
    EXPECT_EQ(log[2], "cursor hidden");
    // The mode has ended before the frame is drawn.
    EXPECT_TRUE(rows.empty());

    // On the clicking frame the column still moved once more, and later
    // frames leave it there.
    host::setLeftButton(false);
    host::setCursor(400, 300);
    EXPECT_TRUE(drawFrame().empty());
    EXPECT_TRUE(host::effectLog().empty());
    Place place = drawnPlace();
    EXPECT_EQ(place.x, 210.0f);
    EXPECT_EQ(place.y, 85.0f);

    // The next start draws the column at the stored place.
    plugin.reset();
    loadPlugin();
    host::runFrame();
    place = drawnPlace();
    EXPECT_EQ(place.x, 200.0f);
    EXPECT_EQ(place.y, 80.0f);
}

TEST_F(Setpos, AClickOnTheFirstFrameStoresThePlaceFromBeforeTheCommand) {
    command();
    host::setCursor(500, 400);
    host::setLeftButton(true);
    std::vector<host::TextDrawn> rows = drawFrame();
    Lines log = host::effectLog();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[0], "cursor shown");
    EXPECT_EQ(log[1], "profile [key_pos] key_x=10.000000");
    EXPECT_EQ(log[2], "profile [key_pos] key_y=20.000000");
    EXPECT_EQ(log[3], "cursor hidden");
    // The mode has ended, so the moved column is no longer drawn.
    EXPECT_TRUE(rows.empty());
    Place place = drawnPlace();
    EXPECT_EQ(place.x, 500.0f);
    EXPECT_EQ(place.y, 400.0f);
}

TEST_F(Setpos, NegativePlacesAreStoredWithASignAndReadBack) {
    command();
    host::setCursor(-30, -12);
    host::runFrame();
    host::setLeftButton(true);
    host::clearEffects();
    host::runFrame();
    Lines log = host::effectLog();
    EXPECT_EQ(count(log, "profile [key_pos] key_x=-30.000000"), 1);
    EXPECT_EQ(count(log, "profile [key_pos] key_y=-12.000000"), 1);

    plugin.reset();
    loadPlugin();
    host::runFrame();
    Place place = drawnPlace();
    EXPECT_EQ(place.x, -30.0f);
    EXPECT_EQ(place.y, -12.0f);
}

TEST_F(Setpos, EnteredTwiceOrWithWordsItShowsAndHidesTheCursorOnce) {
    command("with some words");
    host::runFrame();
    command();
    host::runFrames(3);
    host::setLeftButton(true);
    host::runFrame();
    host::setLeftButton(false);
    host::runFrames(3);
    Lines log = host::effectLog();
    EXPECT_EQ(count(log, "cursor shown"), 1);
    EXPECT_EQ(count(log, "cursor hidden"), 1);
    EXPECT_EQ(count(log, "profile [key_pos] key_x=0.000000"), 1);
}

TEST_F(Setpos, AfterAClickTheCommandStartsTheModeAgainWithTheCursorShown) {
    command();
    host::runFrame();
    host::setLeftButton(true);
    host::runFrame();
    host::setLeftButton(false);
    host::runFrames(2);
    EXPECT_EQ(host::effectLog().back(), "cursor hidden");

    command();
    host::setCursor(250, 150);
    std::vector<host::TextDrawn> rows = drawFrame();
    EXPECT_EQ(host::effectLog().front(), "cursor shown");
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0].x, 250.0f);
    EXPECT_EQ(rows[0].y, 150.0f);

    // The second run ends as the first did, storing its own place.
    host::setLeftButton(true);
    drawFrame();
    EXPECT_EQ(host::effectLog(), (Lines{"profile [key_pos] key_x=250.000000",
                                        "profile [key_pos] key_y=150.000000", "cursor hidden"}));
}

TEST_F(Setpos, SpectatingThatBeginsDuringTheModeDoesNotEndIt) {
    command();
    host::runFrame();
    spectate(4);
    host::setCursor(120, 60);
    std::vector<host::TextDrawn> rows = drawFrame();
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0].x, 120.0f);
    stopSpectating();
    host::setCursor(130, 70);
    rows = drawFrame();
    ASSERT_EQ(rows.size(), 8u);
    EXPECT_EQ(rows[0].x, 130.0f);
}

TEST_F(Setpos, WithTheMenuOpenNothingIsDrawnButTheModeGoesOn) {
    host::setMenuActive(true);
    command();
    host::setCursor(111, 77);
    EXPECT_TRUE(drawFrame().empty());
    host::setCursor(222, 88);
    host::setLeftButton(true);
    EXPECT_TRUE(drawFrame().empty());
    Lines log = host::effectLog();
    EXPECT_EQ(count(log, "profile [key_pos] key_x=111.000000"), 1);
    EXPECT_EQ(count(log, "profile [key_pos] key_y=77.000000"), 1);
    EXPECT_EQ(count(log, "cursor hidden"), 1);

    host::setMenuActive(false);
    host::setLeftButton(false);
    host::setCursor(0, 0);
    Place place = drawnPlace();
    EXPECT_EQ(place.x, 222.0f);
    EXPECT_EQ(place.y, 88.0f);
}

} // namespace
