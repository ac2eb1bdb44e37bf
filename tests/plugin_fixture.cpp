#include "plugin_fixture.h"

#include <atomic>
#include <random>

namespace fs = std::filesystem;

static std::atomic<unsigned> folders{0};

void PluginTest::SetUp() {
    previousDir = fs::current_path();
    const ::testing::TestInfo *info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "." + info->name();
    for (char &c : name)
        if (c == '/')
            c = '_';
    gameDir = fs::temp_directory_path() /
              ("norvi-test-" + name + "-" + std::to_string(std::random_device{}()) + "-" +
               std::to_string(folders++));
    fs::remove_all(gameDir);
    fs::create_directories(gameDir / "SAMPFUNCS");
    fs::current_path(gameDir);
    host::reset();
    loadPlugin();
}

void PluginTest::TearDown() {
    plugin.reset();
    host::reset();
    fs::current_path(previousDir);
    std::error_code ignored;
    fs::remove_all(gameDir, ignored);
}

void PluginTest::loadPlugin() {
    plugin = std::make_unique<host::LoadedPlugin>(host::pluginBesideExecutable());
    ASSERT_TRUE(plugin->loaded()) << plugin->error();
}

void PluginTest::startPlugin() {
    host::runFrame();
    host::clearEffects();
}

std::string hookAnswers(host::Hook hook) {
    host::HookReturns r = host::hookReturns(hook);
    return std::to_string(r.returnedTrue) + " true, " + std::to_string(r.returnedFalse) + " false";
}
