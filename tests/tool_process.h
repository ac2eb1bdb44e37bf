// Runs a command line program the way a user's shell would, on either
// target, for the tests of the command line tools.
#pragma once

#include <filesystem>
#include <regex>
#include <string>

struct Outcome {
    int status; // the exit status; -1 if the program did not exit by itself
    std::string out, err;
    // The transcript without each effect's "line" and "tick", for comparing
    // what the plugin did.
    std::string unplaced() const {
        static const std::regex place(R"(, "line": \d+, "tick": \d+\})");
        return std::regex_replace(out, place, "}");
    }
};

// Runs `program` with `arguments` (words separated by spaces; a word with
// spaces in it is put in single quotes), in the folder `dir`, with `tmp` as
// the system's temporary folder and `input` as standard input. Standard
// output and error are caught through files in `dir`.
Outcome runProgram(const std::filesystem::path &program, const std::string &arguments,
                   const std::filesystem::path &dir, const std::filesystem::path &tmp,
                   const std::string &input = "");

// The whole content of the file at `path` (empty if there is none).
std::string readFile(const std::filesystem::path &path);

// A number for this test process, for names no other test run uses.
unsigned long processNumber();
