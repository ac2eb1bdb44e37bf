// The plugin attaches to the host, waits for the game and the client, and
// starts up once.
#include "plugin_fixture.h"

namespace fs = std::filesystem;

namespace {

// "{BEBEBE}norvi warnings {44FF44}successfully {BEBEBE}loaded // author: {FF4444}kesmaro"
const std::string loadLine =
    "chat 00009BCD {BEBEBE}norvi warnings {44FF44}successfully {BEBEBE}loaded // author: "
    "{FF4444}kesmaro";

bool gameFolderUntouched(const fs::path &gameDir) {
    return fs::is_empty(gameDir / "SAMPFUNCS") &&
           std::distance(fs::directory_iterator(gameDir), fs::directory_iterator()) == 1;
}

using Spine = PluginTest;

TEST_F(Spine, AttachHandsTheHostTheMainLoopAndDoesNothingElse) {
    EXPECT_TRUE(host::hasMainLoop());
    EXPECT_TRUE(host::effectLog().empty());
}

#if defined(_WIN32)
DWORD WINAPI doNothing(LPVOID) { return 0; }
#endif

// A thread starting or ending in the game, and the process letting the
// plugin go, are notified too; only the process attach hands over the main
// loop, and every notification is answered TRUE.
TEST_F(Spine, OnlyTheProcessAttachNotificationDoesAnything) {
    host::forgetPlugin(); // the main loop the load handed over
#if defined(_WIN32)
    // The loader tells the plugin of a thread's start and end.
    HANDLE thread = CreateThread(nullptr, 0, doNothing, nullptr, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    CloseHandle(thread);
#else
    EXPECT_EQ(plugin->notify(DLL_THREAD_ATTACH), TRUE);
    EXPECT_EQ(plugin->notify(DLL_THREAD_DETACH), TRUE);
    EXPECT_EQ(plugin->notify(DLL_PROCESS_DETACH), TRUE);
#endif
    EXPECT_FALSE(host::hasMainLoop());
    EXPECT_TRUE(host::effectLog().empty());
#if !defined(_WIN32)
    EXPECT_EQ(plugin->notify(DLL_PROCESS_ATTACH), TRUE);
    EXPECT_TRUE(host::hasMainLoop());
#endif
}

TEST_F(Spine, WaitsWhileTheGameObjectIsMissing) {
    host::setGameState(std::nullopt);
    host::runFrames(5);
    EXPECT_TRUE(host::effectLog().empty());
    EXPECT_TRUE(gameFolderUntouched(gameDir));

    host::setGameState(9);
    host::runFrame();
    EXPECT_EQ(host::effectLog().back(), loadLine);
}

TEST_F(Spine, WaitsUntilTheGameStateIsNine) {
    for (int state : {0, 7, 8, 10, -1}) {
        host::setGameState(state);
        host::runFrames(2);
    }
    EXPECT_TRUE(host::effectLog().empty());
    EXPECT_TRUE(gameFolderUntouched(gameDir));
}

TEST_F(Spine, WaitsWhileTheClientIsNotInitialised) {
    host::setSampInitialized(false);
    host::runFrames(3);
    EXPECT_TRUE(host::effectLog().empty());
    EXPECT_TRUE(gameFolderUntouched(gameDir));

    host::setSampInitialized(true);
    host::runFrame();
    EXPECT_EQ(host::effectLog().back(), loadLine);
}

TEST_F(Spine, StartsUpOnTheFirstReadyFrameAndOnlyOnce) {
    host::setGameState(8);
    host::runFrame();
    host::setGameState(9);
    host::runFrames(20);

    Lines log = host::effectLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), loadLine);
    EXPECT_EQ(std::count(log.begin(), log.end(), loadLine), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "font Tahoma 11 5"), 1);
}

TEST_F(Spine, LoadMessageIsPostedAsItsExactBytesAndColour) {
    host::runFrame();
    const auto &line = std::get<host::ChatLine>(host::effects().back());
    EXPECT_EQ(line.colour, 0x00009BCDu);
    EXPECT_EQ(line.text, "{BEBEBE}norvi warnings {44FF44}successfully {BEBEBE}loaded // author: "
                         "{FF4444}kesmaro");
}

TEST_F(Spine, FramesAfterStartUpTouchNothing) {
    startPlugin();
    host::runFrames(10);
    EXPECT_TRUE(host::effectLog().empty());
}

TEST_F(Spine, AFailedFontDoesNotStopStartUp) {
    host::setFontCreationFails(true);
    host::runFrame();
    EXPECT_EQ(host::effectLog().back(), loadLine);
    host::runFrames(3);
    EXPECT_EQ(host::effectLog().back(), loadLine);
}

TEST_F(Spine, DetachRunsNoStepOfThePlugin) {
    startPlugin();
    plugin.reset();
    EXPECT_TRUE(host::effectLog().empty());
    EXPECT_FALSE(host::hasMainLoop());
}

TEST_F(Spine, EveryLoadStartsFromTheLoadValues) {
    startPlugin();
    plugin.reset();
    loadPlugin();
    host::runFrame();
    EXPECT_EQ(host::effectLog().back(), loadLine);
}

} // namespace
