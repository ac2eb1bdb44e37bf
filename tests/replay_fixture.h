// A test that runs norvi-replay as a user would, in a folder of its own:
// made empty before the test, removed after it, with a "tmp" folder inside
// that the tool takes for the system's temporary folder.
#pragma once

#include "tool_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

class ReplayFolderTest : public ::testing::Test {
  protected:
    // `prefix` names the folder, with the process and the test.
    explicit ReplayFolderTest(std::string prefix) : prefix_(std::move(prefix)) {}

    void SetUp() override {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = std::filesystem::temp_directory_path() /
              (prefix_ + "-" + std::to_string(processNumber()) + "-" + info->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir / "tmp");
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    // Runs the tool with `arguments` (shell words) in the folder.
    Outcome run(const std::string &arguments, const std::string &input = "") {
        return runProgram(NORVI_REPLAY, arguments, dir, dir / "tmp", input);
    }

    std::filesystem::path dir;

  private:
    std::string prefix_;
};
