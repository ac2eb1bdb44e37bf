// Player sync packets delivered through the host: decoding, the key
// hand-off to the overlay, and the sprint-hook warnings with their timing.
#include "plugin_fixture.h"
#include "sync_packet.h"

#include <cmath>

namespace {

// "возможно", Russian for possibly.
const std::string possibly = "\xE2\xEE\xE7\xEC\xEE\xE6\xED\xEE";
const std::string line17 =
    "chat 00FF2B2B [norvi warnings]: {ff8000}Name[17] " + possibly + " SprintHook";

const uint16_t sprintKey = 0x08;
const uint16_t jumpKey = 0x20;

class SyncHook : public PluginTest {
  protected:
    void SetUp() override {
        PluginTest::SetUp();
        startPlugin();
        host::setPlayer(17, "Name", 0xFFFF8000);
    }

    // Fast, with SPRINT held and no animation block: suspect once it comes
    // within 250 ms of the player's previous packet.
    static host::SyncPacket suspect(uint16_t player, float velocityLength = 0.2f) {
        host::SyncPacket p;
        p.playerId = player;
        p.keys = sprintKey;
        p.velocityLength = velocityLength;
        p.velocityDirections[0] = 65535; // 1.0
        p.velocityDirections[1] = 32768; // 2^-16
        p.velocityDirections[2] = 32768;
        return p;
    }
    static host::SyncPacket walking(uint16_t player) {
        host::SyncPacket p = suspect(player);
        p.keys = 0;
        return p;
    }

    // Sends `packet` `ms` after the previous one; true if it posted a line.
    // The hook lets every packet pass, whatever it did with it.
    static bool sendAfter(DWORD ms, const host::SyncPacket &packet) {
        host::advanceTick(ms);
        host::clearEffects();
        EXPECT_TRUE(host::deliver(host::encodeSync(packet)));
        EXPECT_EQ(hookAnswers(host::Hook::packet), "1 true, 0 false");
        return !host::effects().empty();
    }
    // A first packet, then `count` suspect ones 100 ms apart. Returns how
    // many of them posted a line.
    static int run(uint16_t player, int count) {
        sendAfter(100, walking(player));
        int lines = 0;
        for (int i = 0; i < count; i++)
            lines += sendAfter(100, suspect(player));
        return lines;
    }

    // The colour the last frame drew `label` in.
    static std::string drawnColour(const std::string &label) {
        host::clearEffects();
        host::runFrame();
        for (const std::string &line : host::effectLog())
            if (line.rfind("draw " + label + " ", 0) == 0)
                return line.substr(line.find(' ', 5) + 1, 8);
        return "not drawn";
    }
    static void spectate(uint16_t player) {
        unsigned char id[2] = {static_cast<unsigned char>(player),
                               static_cast<unsigned char>(player >> 8)};
        host::deliverRpc(126, id, 16);
    }
};

const std::string green = "FF44FF44", red = "FFFF4444";

TEST_F(SyncHook, PacketHookIsRegisteredBetweenTheRenderAndRpcHooks) {
    plugin.reset();
    loadPlugin();
    host::runFrame();
    Lines log = host::effectLog();
    auto render = std::find(log.begin(), log.end(), "d3d 17");
    ASSERT_NE(render, log.end());
    ASSERT_LT(render + 2, log.end());
    EXPECT_EQ(render[1], "raknet 3");
    EXPECT_EQ(render[2], "raknet 2");
}

TEST_F(SyncHook, FiveSuspectPacketsPostTheLineOnce) {
    sendAfter(100, walking(17));
    for (int i = 0; i < 4; i++)
        EXPECT_FALSE(sendAfter(100, suspect(17))) << i;
    EXPECT_TRUE(sendAfter(100, suspect(17)));
    EXPECT_EQ(host::effectLog(), Lines{line17});
    // The run goes on, but within 8500 ms nothing more is posted.
    for (int i = 0; i < 84; i++)
        EXPECT_FALSE(sendAfter(100, suspect(17))) << i;
}

TEST_F(SyncHook, ALongRunPostsOneLinePer8500Ms) {
    sendAfter(100, walking(17));
    std::vector<int> lineTimes;
    for (int t = 100; t <= 30000; t += 100)
        if (sendAfter(100, suspect(17)))
            lineTimes.push_back(t);
    EXPECT_EQ(lineTimes, (std::vector<int>{500, 9000, 17500, 26000}));
}

TEST_F(SyncHook, TheNextLineComesAtExactly8500Ms) {
    EXPECT_EQ(run(17, 5), 1);
    // The run goes on, one packet every 100 ms, up to 8400 ms after the line.
    for (int t = 100; t <= 8400; t += 100)
        EXPECT_FALSE(sendAfter(100, suspect(17))) << t;
    EXPECT_FALSE(sendAfter(99, suspect(17))); // 8499 ms
    EXPECT_TRUE(sendAfter(1, suspect(17)));   // 8500 ms
    EXPECT_EQ(host::effectLog(), Lines{line17});
}

TEST_F(SyncHook, APacketThatIsNotSuspectRestartsTheRun) {
    EXPECT_EQ(run(17, 4), 0);
    EXPECT_FALSE(sendAfter(100, walking(17)));
    for (int i = 0; i < 4; i++)
        EXPECT_FALSE(sendAfter(100, suspect(17)));
    EXPECT_TRUE(sendAfter(100, suspect(17)));

    // After a line, a new run needs five packets and the 8500 ms gap.
    sendAfter(100, walking(17));
    host::advanceTick(9000);
    EXPECT_EQ(run(17, 4), 0);
    EXPECT_EQ(run(17, 5), 1);
}

TEST_F(SyncHook, PreviousPacketMustBeLessThan250MsBefore) {
    // Each player runs on its own tables.
    run(1, 4);
    EXPECT_TRUE(sendAfter(249, suspect(1)));
    run(2, 4);
    EXPECT_FALSE(sendAfter(250, suspect(2)));
    // The first packet after load meets a last sync of 0: long ago.
    host::advanceTick(1000);
    int lines = 0;
    for (int i = 0; i < 5; i++)
        lines += sendAfter(100, suspect(3));
    EXPECT_EQ(lines, 0);
}

TEST_F(SyncHook, AJumpExcusesSpeedFor1250Ms) {
    auto runAfterJump = [&](uint16_t player, DWORD firstSuspectAt) {
        host::SyncPacket jump = suspect(player);
        jump.keys = sprintKey | jumpKey; // never suspect itself
        EXPECT_FALSE(sendAfter(100, jump));
        for (DWORD t = 200; t < firstSuspectAt; t += 200)
            sendAfter(200, walking(player));
        int lines =
            sendAfter(firstSuspectAt % 200 == 0 ? 200 : firstSuspectAt % 200, suspect(player));
        for (int i = 0; i < 4; i++)
            lines += sendAfter(100, suspect(player));
        return lines;
    };
    EXPECT_EQ(runAfterJump(1, 1250), 0);
    EXPECT_EQ(runAfterJump(2, 1251), 1);
}

TEST_F(SyncHook, AJumpInsideARunRestartsItAfter1250Ms) {
    EXPECT_EQ(run(17, 4), 0);
    // Fast and sprinting, the fifth of the run, but with JUMP held: no line.
    host::SyncPacket jump = suspect(17);
    jump.keys = sprintKey | jumpKey;
    EXPECT_FALSE(sendAfter(100, jump));
    // Fast sprinting packets up to 1250 ms after the jump do not count,
    // however many there are.
    for (int t = 100; t <= 1200; t += 100)
        EXPECT_FALSE(sendAfter(100, suspect(17))) << t;
    EXPECT_FALSE(sendAfter(50, suspect(17))); // 1250 ms
    // From 1300 ms a new run starts: its fifth packet posts the line.
    std::vector<int> lineTimes;
    for (int t = 1300; t <= 1800; t += 100)
        if (sendAfter(t == 1300 ? 50 : 100, suspect(17)))
            lineTimes.push_back(t);
    EXPECT_EQ(lineTimes, std::vector<int>{1700});
}

TEST_F(SyncHook, SpeedMustExceedTheThresholdStrictly) {
    const float threshold = std::bit_cast<float>(0x416E6666u); // 14.9
    // Speed of the test's velocity: directions 1, 2^-16, 2^-16 times the length.
    auto speed = [](float m) {
        float x = m, y = m * 0x1p-16f, z = m * 0x1p-16f;
        return std::sqrt((x * x + y * y) + z * z) * 100.0f;
    };
    auto lengthFor = [&](float target) {
        float m = target / 100.0f;
        for (int i = 0; i < 64 && speed(m) != target; i++)
            m = std::nextafter(m, speed(m) < target ? 1.0f : 0.0f);
        return m;
    };
    // A speed is a float times 100, rounded, so not every float near 14.9 is
    // one: the threshold itself is not, its neighbours below and above are.
    const float below = std::nextafter(threshold, 0.0f);
    const float above = std::nextafter(threshold, 100.0f);
    float justBelow = lengthFor(below), justAbove = lengthFor(above);
    ASSERT_EQ(speed(justBelow), below);
    ASSERT_EQ(speed(justAbove), above);

    auto lines = [&](uint16_t player, float length) {
        sendAfter(100, walking(player));
        int posted = 0;
        for (int i = 0; i < 5; i++)
            posted += sendAfter(100, suspect(player, length));
        return posted;
    };
    EXPECT_EQ(lines(1, justBelow), 0);
    EXPECT_EQ(lines(2, justAbove), 1);
    EXPECT_EQ(lines(3, std::numeric_limits<float>::quiet_NaN()), 0);
}

TEST_F(SyncHook, SpeedIsTheLengthOfAllThreeVelocityComponents) {
    // Unit directions times a length; 65535 is 1.0, 0 is -1.0 and 32768 is
    // 2^-16, next to nothing. Lengths 0.1495 and 0.1485 give speeds of about
    // 14.95 and 14.85, either side of 14.9, along any one axis or spread
    // over all three: (0.6, 0.6, 0.529) and its sign changes are of length 1.
    struct Case {
        const char *what;
        uint16_t directions[3];
        float length;
        int lines;
    };
    const uint16_t mixed06 = host::unitWord(0.6), mixed053 = host::unitWord(0.52915);
    const uint16_t minus06 = host::unitWord(-0.6), minus053 = host::unitWord(-0.52915);
    const Case cases[] = {
        {"y alone, above", {32768, 65535, 32768}, 0.1495f, 1},
        {"y alone, below", {32768, 65535, 32768}, 0.1485f, 0},
        {"-y alone, above", {32768, 0, 32768}, 0.1495f, 1},
        {"z alone, above", {32768, 32768, 65535}, 0.1495f, 1},
        {"z alone, below", {32768, 32768, 65535}, 0.1485f, 0},
        {"-z alone, above", {32768, 32768, 0}, 0.1495f, 1},
        {"mixed, above", {mixed06, mixed06, mixed053}, 0.1495f, 1},
        {"mixed, below", {mixed06, mixed06, mixed053}, 0.1485f, 0},
        {"mixed signs, above", {minus06, mixed06, minus053}, 0.1495f, 1},
        {"mixed signs, below", {mixed06, minus06, mixed053}, 0.1485f, 0},
    };
    uint16_t player = 1;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        host::SyncPacket p = suspect(player, c.length);
        std::copy(std::begin(c.directions), std::end(c.directions), p.velocityDirections);
        sendAfter(100, walking(player));
        int lines = 0;
        for (int i = 0; i < 5; i++)
            lines += sendAfter(100, p);
        EXPECT_EQ(lines, c.lines);
        player++;
    }
}

TEST_F(SyncHook, OnlyTheTwoAnimationPairsPass) {
    struct Case {
        uint16_t id, flags;
        int lines;
    };
    uint16_t player = 1;
    for (Case c : {Case{1228, 0x8002, 1}, Case{0, 0, 1}, Case{1228, 0, 0}, Case{0, 0x8002, 0},
                   Case{1229, 0x8002, 0}, Case{1228, 0x0002, 0}}) {
        host::SyncPacket p = suspect(player);
        p.animation = host::SyncPacket::Animation{c.id, c.flags};
        sendAfter(100, walking(player));
        int lines = 0;
        for (int i = 0; i < 5; i++)
            lines += sendAfter(100, p);
        EXPECT_EQ(lines, c.lines) << c.id << " " << c.flags;
        player++;
    }
}

TEST_F(SyncHook, AgesStayRightAcrossTheTickWrap) {
    host::setTick(0xFFFFE000);
    host::SyncPacket jump = walking(17);
    jump.keys = jumpKey;
    sendAfter(0, jump);
    host::advanceTick(1300);
    EXPECT_EQ(run(17, 5), 1);
    const DWORD firstLine = host::tick();

    // The run goes on past the wrap, where the sync, jump and warning ages
    // are all taken across it: the next line comes 8600 ms later.
    int packets = 0;
    while (!sendAfter(200, suspect(17)) && packets < 100)
        packets++;
    EXPECT_EQ(packets + 1, 43);
    EXPECT_EQ(host::tick(), static_cast<DWORD>(firstLine + 8600));
    EXPECT_LT(host::tick(), firstLine);
}

TEST_F(SyncHook, TwoPlayersRunAndWarnIndependently) {
    host::setPlayer(18, "Other", 0xFF00A0FF);
    sendAfter(50, walking(17));
    sendAfter(50, walking(18));
    Lines posted;
    for (int i = 0; i < 5; i++) {
        sendAfter(50, suspect(17));
        Lines log = host::effectLog();
        posted.insert(posted.end(), log.begin(), log.end());
        // Player 18 breaks its own run, not player 17's.
        sendAfter(50, i == 2 ? walking(18) : suspect(18));
        log = host::effectLog();
        posted.insert(posted.end(), log.begin(), log.end());
    }
    EXPECT_EQ(posted, Lines{line17});
    EXPECT_FALSE(sendAfter(50, suspect(17)));
    EXPECT_FALSE(sendAfter(50, suspect(18)));
    EXPECT_FALSE(sendAfter(50, suspect(18)));
    EXPECT_TRUE(sendAfter(50, suspect(18)));
    EXPECT_EQ(host::effectLog(), Lines{"chat 00FF2B2B [norvi warnings]: {00a0ff}Other[18] " +
                                       possibly + " SprintHook"});
}

TEST_F(SyncHook, APlayerWithoutANameIsStillNamed) {
    host::setPlayer(999, std::nullopt, 0x00123456);
    EXPECT_EQ(run(999, 5), 1);
    EXPECT_EQ(host::effectLog(),
              Lines{"chat 00FF2B2B [norvi warnings]: {123456}[999] " + possibly + " SprintHook"});
}

TEST_F(SyncHook, PacketsThatAreNotHandledTouchNothing) {
    spectate(17);
    host::SyncPacket keysHeld = suspect(17);
    keysHeld.keys = 0xFFFF;
    auto sendRun = [&](const host::SyncPacket &p, int packetId) {
        for (int i = 0; i < 6; i++) {
            host::advanceTick(100);
            host::clearEffects();
            EXPECT_TRUE(host::deliver(host::encodeSync(p), packetId));
            EXPECT_EQ(hookAnswers(host::Hook::packet), "1 true, 0 false");
            EXPECT_TRUE(host::effects().empty());
        }
    };
    // Other packet identifiers.
    sendRun(keysHeld, 206);
    sendRun(keysHeld, 208);
    // Health nibble 0: neither detection nor the keys see the packet.
    keysHeld.healthArmour = 0x0F;
    sendRun(keysHeld, 207);
    EXPECT_EQ(drawnColour("SPRINT"), red);
    // Player ids of 1000 and more.
    spectate(1000);
    for (uint16_t id : {uint16_t(1000), uint16_t(65535)}) {
        keysHeld = suspect(id);
        keysHeld.keys = 0xFFFF;
        sendRun(keysHeld, 207);
        EXPECT_EQ(drawnColour("SPRINT"), red);
    }
}

TEST_F(SyncHook, ADroppedPacketDoesNotCountAsThePreviousOne) {
    EXPECT_EQ(run(17, 4), 0);
    host::SyncPacket dead = suspect(17);
    dead.healthArmour = 0x05;
    sendAfter(200, dead);
    // 300 ms after the last packet that got through: the run is broken.
    EXPECT_FALSE(sendAfter(100, suspect(17)));
    EXPECT_FALSE(sendAfter(100, suspect(17)));
}

TEST_F(SyncHook, TheSpectatedPlayersKeysColourTheOverlay) {
    spectate(17);
    host::SyncPacket p = walking(17);
    p.keys = sprintKey | jumpKey;
    sendAfter(100, p);
    EXPECT_EQ(drawnColour("SPRINT"), green);
    EXPECT_EQ(drawnColour("JUMP"), green);
    EXPECT_EQ(drawnColour("TAB"), red);

    // With both optional words the key word stands 32 bits later.
    p.leftRight = 0xFF80;
    p.upDown = 0x0080;
    p.keys = 0x0001; // TAB
    sendAfter(100, p);
    EXPECT_EQ(drawnColour("SPRINT"), red);
    EXPECT_EQ(drawnColour("TAB"), green);

    // Other players' keys do not show.
    p.playerId = 18;
    p.keys = sprintKey;
    sendAfter(100, p);
    EXPECT_EQ(drawnColour("TAB"), green);
    EXPECT_EQ(drawnColour("SPRINT"), red);

    // A target out of the players' range is drawn with the last colours.
    spectate(2000);
    sendAfter(100, p);
    EXPECT_EQ(drawnColour("TAB"), green);
}

} // namespace
