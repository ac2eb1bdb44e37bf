// The plugin's pure decisions, which the replay tool calls too: what an RPC
// makes of the spectate target, and the sprint-hook judgement leaving every
// table alone.
#include "net/net.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

bool follow(int rpcId, std::vector<unsigned char> data, uint32_t bits, int16_t &target) {
    BitStream stream(data.data(), bits);
    return followSpectateRpc(rpcId, &stream, target);
}

TEST(SpectateRpc, SetsTheTargetOnlyWhenTheRpcSaysSo) {
    int16_t target = -1;
    EXPECT_TRUE(follow(126, {0x40, 0x9C}, 16, target)); // 40000
    EXPECT_EQ(target, static_cast<int16_t>(40000));
    EXPECT_TRUE(spectating(target)) << "a negative target other than -1 is a player";
    EXPECT_EQ(spectatedPlayer(target), 40000);
    EXPECT_TRUE(follow(126, {0x40, 0x9C}, 16, target)) << "the same target set again";

    EXPECT_FALSE(follow(126, {0x05, 0x00}, 15, target)) << "too short: nothing read";
    EXPECT_EQ(target, static_cast<int16_t>(40000));
    EXPECT_FALSE(follow(124, {1, 0, 0, 0}, 32, target));
    EXPECT_FALSE(follow(124, {0, 0, 0}, 24, target)) << "a short stream ends nothing";
    EXPECT_FALSE(follow(125, {0, 0, 0, 0}, 32, target));
    EXPECT_EQ(target, static_cast<int16_t>(40000));

    EXPECT_TRUE(follow(124, {0, 0, 0, 0}, 32, target));
    EXPECT_EQ(target, -1);
    EXPECT_FALSE(spectating(target));
    EXPECT_TRUE(follow(126, {0xFF, 0xFF}, 16, target));
    EXPECT_FALSE(spectating(target)) << "0xFFFF is nobody";
}

TEST(SprintHookJudgement, IsAFunctionOfWhatItIsHanded) {
    PlayerSyncData sync = {};
    sync.keys = keySprint;
    sync.velocity[0] = 1.0f;
    const TickMs now = 5000000;
    SprintHookState before = {now - 100, 0, sprintHookRun - 2};
    SprintHookStep step = judgeSync(sync, now, before);
    EXPECT_TRUE(step.suspect);
    EXPECT_EQ(step.run, sprintHookRun - 1);
    EXPECT_FALSE(step.warn);
    EXPECT_EQ(step.lastJump, 0u);
    EXPECT_EQ(lastSyncTick[0] | lastJumpTick[0] | static_cast<TickMs>(suspectCount[0]), 0u)
        << "no table touched";

    before.run = sprintHookRun - 1;
    EXPECT_TRUE(judgeSync(sync, now, before).warn) << "the fifth asks for the warning";

    sync.keys = keySprint | keyJump;
    step = judgeSync(sync, now, before);
    EXPECT_EQ(step.lastJump, now) << "JUMP is stamped before the tests";
    EXPECT_FALSE(step.suspect);
    EXPECT_EQ(step.run, 0);
    EXPECT_FALSE(step.warn);
}

} // namespace
