// The key column: eight labels drawn from the render hook while a player
// is spectated or the position-setting mode is on, green for held keys and
// red for the rest.
#include "overlay_support.h"

#include "sync_packet.h"

using namespace overlay;

namespace {

const std::string lkm = "\xCB\xCA\xCC"; // "ЛКМ"
const std::string pkm = "\xCF\xCA\xCC"; // "ПКМ"
const std::vector<std::string> labels = {lkm, pkm, "C", "SPRINT", "JUMP", "ALT", "TAB", "F"};

class Overlay : public PluginTest {
  protected:
    void SetUp() override {
        PluginTest::SetUp();
        host::setScreen(640, 448);
        writePositionFile(gameDir, "[key_pos]\r\nkey_x=30\r\nkey_y=40.25\r\n");
        startPlugin();
    }
    static void sendKeys(uint16_t player, uint16_t keys) {
        host::SyncPacket sync;
        sync.playerId = player;
        sync.keys = keys;
        host::Packet packet = host::encodeSync(sync);
        host::deliverPacket(packet.bytes.data(), packet.bitCount, host::playerSyncId);
    }
    // The colours of the eight rows of one frame, top to bottom.
    static std::vector<D3DCOLOR> rowColours() {
        std::vector<D3DCOLOR> colours;
        for (const host::TextDrawn &row : drawFrame())
            colours.push_back(row.colour);
        return colours;
    }
};

const std::vector<D3DCOLOR> allRed(8, red);
const std::vector<D3DCOLOR> allGreen(8, green);

TEST_F(Overlay, SpectatingDrawsTheEightLabelsInRedUntilAPacketArrives) {
    spectate(7);
    std::vector<host::TextDrawn> rows = drawFrame();
    ASSERT_EQ(rows.size(), 8u);
    for (size_t i = 0; i < rows.size(); i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(rows[i].text, labels[i]);
        EXPECT_EQ(rows[i].colour, red);
        EXPECT_EQ(rows[i].x, 30.0f);
        EXPECT_FALSE(rows[i].option1);
        EXPECT_FALSE(rows[i].option2);
        EXPECT_EQ(bits(rows[i].clip.left) | bits(rows[i].clip.top) | bits(rows[i].clip.right) |
                      bits(rows[i].clip.bottom),
                  0u);
    }
    EXPECT_EQ(rows[0].y, 40.25f);
}

TEST_F(Overlay, RowsStandOnePixelFurtherApartThanTheFontHeightAddedUpInFloats) {
    // 13.7 is no whole number, and adding it up in single precision rounds
    // at every row.
    host::setFontHeight(13.7f);
    spectate(7);
    int queriesBefore = host::callCounts().drawHeight;
    std::vector<host::TextDrawn> rows = drawFrame();
    EXPECT_EQ(host::callCounts().drawHeight - queriesBefore, 7);

    // 40.25 + k * 14.7 rounded once would give 113.75 (0x42E38000) for row 6.
    const uint32_t expected[8] = {0x42210000, 0x425BCCCD, 0x428B4CCD, 0x42A8B333,
                                  0x42C61999, 0x42E37FFF, 0x43007333, 0x430F2666};
    ASSERT_EQ(rows.size(), 8u);
    for (size_t i = 0; i < 8; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(bits(rows[i].y), expected[i]);
    }
}

// Drawing or not, the render hook answers true, so the host goes on
// presenting the frame.
const std::string answeredTrue = "1 true, 0 false";

TEST_F(Overlay, NothingIsDrawnWhenAnyConditionFails) {
    spectate(7);
    const host::CallCounts &calls = host::callCounts();
    EXPECT_EQ(drawFrame().size(), 8u);
    EXPECT_EQ(hookAnswers(host::Hook::render), answeredTrue);

    host::setBeginRenderResult(-1);
    int begins = calls.beginRender, ends = calls.endRender;
    EXPECT_TRUE(drawFrame().empty());
    EXPECT_EQ(hookAnswers(host::Hook::render), answeredTrue);
    EXPECT_EQ(calls.beginRender - begins, 1);
    EXPECT_EQ(calls.endRender - ends, 0); // no EndRender after a refused BeginRender
    host::setBeginRenderResult(1);
    EXPECT_EQ(drawFrame().size(), 8u);
    host::setBeginRenderResult(0);

    host::setCanDraw(false);
    ends = calls.endRender;
    EXPECT_TRUE(drawFrame().empty());
    EXPECT_EQ(hookAnswers(host::Hook::render), answeredTrue);
    EXPECT_EQ(calls.endRender - ends, 1);
    host::setCanDraw(true);

    host::setMenuActive(true);
    ends = calls.endRender;
    EXPECT_TRUE(drawFrame().empty());
    EXPECT_EQ(hookAnswers(host::Hook::render), answeredTrue);
    EXPECT_EQ(calls.endRender - ends, 1);
    host::setMenuActive(false);

    stopSpectating();
    ends = calls.endRender;
    EXPECT_TRUE(drawFrame().empty());
    EXPECT_EQ(hookAnswers(host::Hook::render), answeredTrue);
    EXPECT_EQ(calls.endRender - ends, 1);

    // The position-setting mode draws without anybody spectated.
    ASSERT_TRUE(host::typeCommand("norvi_setpos", ""));
    EXPECT_EQ(drawFrame().size(), 8u);
    EXPECT_EQ(hookAnswers(host::Hook::render), answeredTrue);
}

class OverlayWithoutFont : public PluginTest {};

TEST_F(OverlayWithoutFont, DrawsNothingButStillEndsTheFrame) {
    host::setFontCreationFails(true);
    startPlugin();
    spectate(7);
    const host::CallCounts &calls = host::callCounts();
    int begins = calls.beginRender, ends = calls.endRender;
    EXPECT_TRUE(drawFrame().empty());
    EXPECT_EQ(hookAnswers(host::Hook::render), answeredTrue);
    EXPECT_EQ(calls.drawHeight, 0);
    EXPECT_EQ(calls.beginRender - begins, 1);
    EXPECT_EQ(calls.endRender - ends, 1);
}

TEST_F(Overlay, KeyWordsOfTheSpectatedPlayerColourTheirRows) {
    spectate(7);
    struct Case {
        uint16_t keys;
        std::vector<D3DCOLOR> colours; // ЛКМ ПКМ C SPRINT JUMP ALT TAB F
    };
    const Case cases[] = {
        {0xFFFF, allGreen},
        {0x0000, allRed},
        {0x0040, allRed}, // bit 6 is not shown
        {0x0400, {red, red, red, red, red, green, red, red}},
        {0x0084, {green, green, red, red, red, red, red, red}},
        {0x0001, {red, red, red, red, red, red, green, red}},
        {0x0012, {red, red, green, red, red, red, red, green}},
        {0x0028, {red, red, red, green, green, red, red, red}},
        {0xFF40, {red, red, red, red, red, green, red, red}}, // ALT and every unshown bit
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.keys);
        sendKeys(7, c.keys);
        EXPECT_EQ(rowColours(), c.colours);
    }
}

TEST_F(Overlay, OtherPlayersPacketsChangeNoColour) {
    spectate(7);
    sendKeys(7, 0x0084);
    sendKeys(8, 0xFFFF);
    sendKeys(0, 0x0000);
    EXPECT_EQ(rowColours(), (std::vector<D3DCOLOR>{green, green, red, red, red, red, red, red}));
}

TEST_F(Overlay, ColoursAreKeptWhenSpectatingEndsAndWhenTheTargetChanges) {
    spectate(7);
    sendKeys(7, 0xFFFF);
    stopSpectating();
    EXPECT_TRUE(drawFrame().empty());

    // The position-setting mode shows the colours left from player 7.
    ASSERT_TRUE(host::typeCommand("norvi_setpos", ""));
    EXPECT_EQ(rowColours(), allGreen);
    host::setLeftButton(true);
    host::runFrame();
    host::setLeftButton(false);

    // A new target shows them too until its own first packet.
    spectate(9);
    EXPECT_EQ(rowColours(), allGreen);
    sendKeys(9, 0x0400);
    EXPECT_EQ(rowColours(), (std::vector<D3DCOLOR>{red, red, red, red, red, green, red, red}));
}

} // namespace
