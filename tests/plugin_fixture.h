// Every test starts from a freshly loaded plugin in a fresh game folder
// (the current directory, holding an empty SAMPFUNCS folder), with the host
// at its defaults.
#pragma once

#include "host.h"
#include "loader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class PluginTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Loads the plugin; most tests do it in SetUp through this.
    void loadPlugin();
    // Runs frames until the plugin has started (one frame with a ready host).
    void startPlugin();

    std::filesystem::path gameDir;
    std::unique_ptr<host::LoadedPlugin> plugin;

  private:
    std::filesystem::path previousDir;
};

using Lines = std::vector<std::string>;

// How one of the plugin's hooks answered the host since the last
// clearEffects, e.g. "1 true, 0 false".
std::string hookAnswers(host::Hook hook);
