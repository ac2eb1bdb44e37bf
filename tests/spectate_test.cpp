// The spectate target follows RPCs 126 and 124. Its effect is seen through
// the overlay, which is drawn only while somebody is spectated.
#include "plugin_fixture.h"

namespace {

class Spectate : public PluginTest {
  protected:
    void SetUp() override {
        PluginTest::SetUp();
        startPlugin();
    }
    static bool spectate(std::vector<unsigned char> params) {
        return host::deliverRpc(126, params.data(), static_cast<uint32_t>(params.size() * 8));
    }
    static bool toggle(std::vector<unsigned char> params) {
        return host::deliverRpc(124, params.data(), static_cast<uint32_t>(params.size() * 8));
    }
};

// Whether the frame drew the key column.
bool overlayDrawn() {
    host::clearEffects();
    host::runFrame();
    return !host::effects().empty() && std::holds_alternative<host::TextDrawn>(host::effects()[0]);
}

TEST_F(Spectate, NobodyIsSpectatedAtLoad) { EXPECT_FALSE(overlayDrawn()); }

TEST_F(Spectate, Rpc126SetsTheTargetAndLaterOnesReplaceIt) {
    spectate({5, 0});
    EXPECT_TRUE(overlayDrawn());
    spectate({0x07, 0x01}); // 263, no 124 in between
    EXPECT_TRUE(overlayDrawn());
    spectate({0xFF, 0xFF}); // 0xFFFF: nobody
    EXPECT_FALSE(overlayDrawn());
    spectate({0xD0, 0x07}); // 2000: out of the players' range, still a target
    EXPECT_TRUE(overlayDrawn());
}

// Ids from 32768 up are kept as negative numbers; only 65535 (-1) means nobody.
TEST_F(Spectate, TargetsFrom32768To65534StillCountAsSpectating) {
    for (std::vector<unsigned char> id : {std::vector<unsigned char>{0x00, 0x80},    // 32768
                                          std::vector<unsigned char>{0x34, 0xC2},    // 49716
                                          std::vector<unsigned char>{0xFE, 0xFF}}) { // 65534
        SCOPED_TRACE(id[0] + 256 * id[1]);
        spectate(id);
        EXPECT_TRUE(overlayDrawn());
        // The command is refused as while spectating anybody.
        host::clearEffects();
        ASSERT_TRUE(host::typeCommand("norvi_setpos", ""));
        ASSERT_EQ(host::effects().size(), 1u);
        EXPECT_EQ(std::get<host::ChatLine>(host::effects()[0]).text.rfind("[norvi warnings]: ", 0),
                  0u);
        EXPECT_TRUE(overlayDrawn()); // and the mode did not start
    }
    spectate({0xFF, 0xFF});
    EXPECT_FALSE(overlayDrawn());
    host::clearEffects();
    ASSERT_TRUE(host::typeCommand("norvi_setpos", ""));
    EXPECT_TRUE(host::effects().empty());
}

TEST_F(Spectate, Rpc124EndsSpectatingOnlyWithZero) {
    spectate({5, 0});
    toggle({1, 0, 0, 0});
    EXPECT_TRUE(overlayDrawn());
    toggle({0, 0, 0, 0x80});
    EXPECT_TRUE(overlayDrawn());
    toggle({0, 0, 0, 0});
    EXPECT_FALSE(overlayDrawn());
}

TEST_F(Spectate, ShortRpcsChangeNothing) {
    spectate({5, 0});
    spectate({9});     // 8 bits of a 16-bit id
    toggle({0, 0, 0}); // 24 bits of a 32-bit value
    EXPECT_TRUE(overlayDrawn());
    toggle({0, 0, 0, 0});
    spectate({});
    EXPECT_FALSE(overlayDrawn());
}

TEST_F(Spectate, OtherRpcsChangeNothing) {
    std::vector<unsigned char> zeros(8, 0);
    for (int id : {0, 123, 125, 127, 255})
        host::deliverRpc(id, zeros.data(), 64);
    EXPECT_FALSE(overlayDrawn());
}

TEST_F(Spectate, RpcHookIsRegisteredAtStartUp) {
    plugin.reset();
    loadPlugin();
    host::runFrame();
    Lines log = host::effectLog();
    EXPECT_NE(std::find(log.begin(), log.end(), "raknet 2"), log.end());
}

TEST_F(Spectate, EveryRpcPassesOn) {
    // Each call: the hook ran once and answered true.
    auto passes = [](bool delivered) {
        bool once = hookAnswers(host::Hook::rpc) == "1 true, 0 false";
        host::clearEffects();
        return delivered && once;
    };
    host::clearEffects();
    EXPECT_TRUE(passes(spectate({5, 0})));
    EXPECT_TRUE(passes(toggle({0, 0, 0, 0})));
    EXPECT_TRUE(passes(host::deliverRpc(125, nullptr, 0)));
    // Too short for the value each one reads.
    EXPECT_TRUE(passes(spectate({})));
    EXPECT_TRUE(passes(spectate({7})));
    EXPECT_TRUE(passes(toggle({1})));
    EXPECT_TRUE(passes(toggle({0, 0, 0})));
}

} // namespace
