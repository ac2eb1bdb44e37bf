// The warning's pieces on their own, against the stand-in host: the colour
// text and the counter of an endless run.
#include "core/plugin.h"
#include "host.h"
#include "net/net.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

// The plugin's one framework object, which these functions reach the host by.
SAMPFUNCS *SF = new SAMPFUNCS();

namespace {

class Warning : public ::testing::Test {
  protected:
    void SetUp() override { host::reset(); }
    void TearDown() override { host::reset(); }
};

TEST_F(Warning, ColourTextIsRedGreenBlueInLowerCaseWithoutOpacity) {
    host::setPlayer(17, "Name", 0x12FF8000);
    host::setPlayer(3, "Other", 0xFFABCDEF);
    host::setPlayer(4, "Dark", 0x00000000);
    EXPECT_EQ(std::string(playerColourHex(17).digits), "ff8000");
    EXPECT_EQ(std::string(playerColourHex(3).digits), "abcdef");
    EXPECT_EQ(std::string(playerColourHex(4).digits), "000000");
}

TEST_F(Warning, AnEndlessRunKeepsItsCountAndKeepsWarning) {
    PlayerSyncData sync = {};
    sync.keys = keySprint;
    sync.velocity[0] = 1.0f;
    const PlayerId p = 17;
    const TickMs now = 5000000;
    lastSyncTick[p] = now - 100;
    suspectCount[p] = INT32_MAX - 1;

    detectSprintHook(p, sync, now);
    EXPECT_EQ(suspectCount[p], INT32_MAX);
    lastSyncTick[p] = now + 9900; // the hook stamps every packet in between
    detectSprintHook(p, sync, now + 10000);
    EXPECT_EQ(suspectCount[p], INT32_MAX);
    // Both calls were past the 8500 ms gap, and both posted.
    EXPECT_EQ(host::effectLog().size(), 2u);
}

} // namespace
