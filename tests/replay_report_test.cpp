// The report page's pieces (the hash that names the input, the times it
// gives, the data that must stay inert inside the page) and the tool's
// --report end to end. What the page does in a browser is tested in
// Chromium (tests/report).
#include "replay_fixture.h"
#include "report.h"
#include "sha256.h"
#include "tool_process.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

std::string sha256Of(const std::string &bytes) {
    replay::Sha256 hash;
    hash.add(bytes);
    return hash.hex();
}

TEST(ReportPieces, Sha256AndBase64GiveTheStandardsOwnExamples) {
    EXPECT_EQ(sha256Of(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha256Of("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // Two blocks, the padding alone in the second.
    std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(sha256Of(twoBlocks),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // Fed in pieces of every size, the same digest as at once.
    std::string million(1000000, 'a');
    for (size_t piece : {1u, 3u, 63u, 64u, 65u, 4096u}) {
        replay::Sha256 hash;
        for (size_t at = 0; at < million.size(); at += piece)
            hash.add(std::string_view(million).substr(at, piece));
        EXPECT_EQ(hash.hex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0")
            << "pieces of " << piece;
    }
    auto b64 = [](const std::string &s) {
        return replay::base64(reinterpret_cast<const unsigned char *>(s.data()), s.size());
    };
    EXPECT_EQ(b64(""), "");
    EXPECT_EQ(b64("f"), "Zg==");
    EXPECT_EQ(b64("fo"), "Zm8=");
    EXPECT_EQ(b64("foo"), "Zm9v");
    EXPECT_EQ(b64("foobar"), "Zm9vYmFy");
}

TEST(ReportPieces, CaptureTimesAreUtcToTheNanosecond) {
    EXPECT_EQ(replay::utcText(1765200000000000000ull), "2025-12-08T13:20:00.000000000Z");
    EXPECT_EQ(replay::utcText(0), "1970-01-01T00:00:00.000000000Z");
    // A leap day, and the last nanosecond of a year.
    EXPECT_EQ(replay::utcText(951782400123456789ull), "2000-02-29T00:00:00.123456789Z");
    EXPECT_EQ(replay::utcText(1704067199999999999ull), "2023-12-31T23:59:59.999999999Z");
}

// The text of the page's element with this id.
std::string element(const std::string &page, const std::string &id) {
    std::string open = "id=\"" + id + "\">";
    size_t from = page.find(open);
    if (from == std::string::npos)
        return "";
    from += open.size();
    return page.substr(from, page.find("</script>", from) - from);
}

TEST(ReportPieces, NamesWithMarkupStayInsideTheDataElement) {
    // What the tool could put in the data: names as players chose them.
    std::string data =
        R"({"names": ["</script><img src=x onerror=alert(1)>", "\"><svg onload=alert(2)>",)"
        R"( "a & b", "<!-- x", "line)"
        "\xE2\x80\xA8"
        R"(separator"]})";
    std::string page = replay::reportPage(data);
    std::string inside = element(page, "report-data");
    EXPECT_EQ(inside.find('<'), std::string::npos) << inside;
    EXPECT_EQ(inside.find('>'), std::string::npos) << inside;
    EXPECT_EQ(inside.find('&'), std::string::npos) << inside;
    EXPECT_EQ(inside.find("\xE2\x80\xA8"), std::string::npos) << inside;
    // Read back, the very same names.
    EXPECT_EQ(json::parse(inside), json::parse(data));
    // The element ends where the data does: its script comes after it.
    EXPECT_LT(page.find("id=\"report-data\""), page.rfind("<script>"));
}

TEST(ReportPieces, ThePageRunsItsOwnScriptAndNothingElse) {
    std::string page = replay::reportPage("{}");
    // The policy names the one script by its hash; a handler in an
    // attribute, or a script from anywhere else, is refused.
    size_t at = page.find("script-src 'sha256-");
    ASSERT_NE(at, std::string::npos);
    at += std::string("script-src 'sha256-").size();
    std::string named = page.substr(at, page.find('\'', at) - at);
    size_t from = page.rfind("<script>") + 8;
    std::string script = page.substr(from, page.rfind("</script>") - from);
    replay::Sha256 hash;
    hash.add(script);
    std::array<unsigned char, 32> digest = hash.digest();
    EXPECT_EQ(named, replay::base64(digest.data(), digest.size()));
    EXPECT_NE(page.find("default-src 'none'"), std::string::npos);
    // Nothing is fetched: no address of any other place.
    EXPECT_EQ(page.find("src=\"http"), std::string::npos);
    EXPECT_EQ(page.find("href=\"http"), std::string::npos);
    EXPECT_EQ(page.find("@import"), std::string::npos);
}

class ReportTool : public ReplayFolderTest {
  protected:
    ReportTool() : ReplayFolderTest("norvi-report-test") {}
};

std::vector<json> linesOf(const std::string &jsonl) {
    std::vector<json> lines;
    std::istringstream in(jsonl);
    for (std::string line; std::getline(in, line);)
        if (!line.empty())
            lines.push_back(json::parse(line));
    return lines;
}

TEST_F(ReportTool, ThePageHoldsTheTranscriptsWarningsAndWhatWasRead) {
    for (const char *name : {"demo.jsonl", "session.pcapng"}) {
        SCOPED_TRACE(name);
        std::string input = std::string(EXAMPLES_DIR) + "/" + name;
        Outcome o = run("--summary --report page.html '" + input + "'");
        ASSERT_EQ(o.status, 0) << o.err;
        json data = json::parse(element(readFile(dir / "page.html"), "report-data"));

        json warnings = json::array();
        for (const json &line : linesOf(o.out)) {
            if (line.contains("warning"))
                warnings.push_back(line);
            if (!line.contains("summary"))
                continue;
            EXPECT_EQ(data["summary"], line["summary"]);
            // The players' table agrees with the summary: their warnings
            // and the seconds they were spectated.
            for (const json &w : line["summary"]["warned"])
                for (const json &p : data["players"])
                    if (p["player"] == w["player"]) {
                        EXPECT_EQ(p["warnings"], w["warnings"]);
                    }
            for (const json &w : line["summary"]["spectated"])
                for (const json &p : data["players"])
                    if (p["player"] == w["player"]) {
                        EXPECT_EQ(p["spectated"], w["seconds"]);
                    }
        }
        ASSERT_FALSE(warnings.empty());
        EXPECT_EQ(data["warnings"], warnings);
        ASSERT_EQ(data["warningInfo"].size(), warnings.size());
        for (size_t i = 0; i < warnings.size(); i++) {
            // The chart holds the evidence packets, each as the evidence
            // gives it.
            const json &chart = data["warningInfo"][i]["chart"];
            for (const json &e : warnings[i]["warning"]["evidence"]) {
                std::string origin = data["origin"];
                bool found = false;
                for (size_t k = 0; k < chart["origin"].size(); k++)
                    found =
                        found || (chart["origin"][k] == e[origin] &&
                                  chart["speed"][k] == e["speed"] && chart["keys"][k] == e["keys"]);
                EXPECT_TRUE(found) << e;
            }
        }

        const json &read = data["read"];
        std::string bytes = readFile(input);
        EXPECT_EQ(read["name"], input);
        EXPECT_EQ(read["size"], bytes.size());
        EXPECT_EQ(read["sha256"], sha256Of(bytes));
        EXPECT_NE(read["commandLine"].get<std::string>().find("--report page.html"),
                  std::string::npos);
        if (data["origin"] == "record") {
            // The example capture begins at 13:20 UTC on 8 December 2025.
            EXPECT_EQ(read["firstTime"], "2025-12-08T13:20:00.000000000Z");
            EXPECT_EQ(read["server"], "192.168.10.10:7777");
            EXPECT_FALSE(read["messages"].empty()) << "the capture's skip report";
        }
    }
}

TEST_F(ReportTool, StandardInputIsNamedButNotHashed) {
    std::string trace = readFile(EXAMPLES_DIR "/warning.jsonl");
    Outcome o = run("--report page.html -", trace);
    ASSERT_EQ(o.status, 0) << o.err;
    json read = json::parse(element(readFile(dir / "page.html"), "report-data"))["read"];
    EXPECT_EQ(read["name"], "-");
    EXPECT_TRUE(read["size"].is_null());
    EXPECT_TRUE(read["sha256"].is_null());
}

TEST(ReportPieces, OnlyARegularFileIsReadAgain) {
    // A folder here; a named pipe whose writer is still there would make a
    // second reading wait for ever.
    replay::FileFacts facts = replay::describeFile(fs::temp_directory_path(), false);
    EXPECT_FALSE(facts.size);
    EXPECT_TRUE(facts.sha256.empty());
    replay::FileFacts capture = replay::describeFile(EXAMPLES_DIR "/session.pcapng", true);
    ASSERT_TRUE(capture.size);
    EXPECT_EQ(*capture.size, readFile(EXAMPLES_DIR "/session.pcapng").size());
    ASSERT_TRUE(capture.firstTimeNs && capture.lastTimeNs);
    EXPECT_EQ(replay::utcText(*capture.lastTimeNs), "2025-12-08T13:20:04.030000000Z");
}

TEST_F(ReportTool, AReportThatCannotBeWrittenStopsTheRunBeforeItStarts) {
    std::string trace = "'" EXAMPLES_DIR "/warning.jsonl'";
    Outcome noFolder = run("--report missing/page.html " + trace);
    EXPECT_EQ(noFolder.status, 1);
    EXPECT_NE(noFolder.err.find("cannot write missing/page.html"), std::string::npos)
        << noFolder.err;
    EXPECT_EQ(noFolder.out, "") << "nothing ran";
    // Over the input, the page would lose the file it describes.
    fs::copy_file(EXAMPLES_DIR "/warning.jsonl", dir / "input.jsonl");
    Outcome over = run("--report input.jsonl input.jsonl");
    EXPECT_EQ(over.status, 2);
    EXPECT_NE(over.err.find("the input itself"), std::string::npos) << over.err;
    EXPECT_EQ(readFile(dir / "input.jsonl"), readFile(EXAMPLES_DIR "/warning.jsonl"));
    Outcome twice = run("--report - --svg - " + trace);
    EXPECT_EQ(twice.status, 2);
    EXPECT_NE(twice.err.find("standard output"), std::string::npos) << twice.err;
    // To standard output, the page comes after the transcript.
    Outcome out = run("--report - " + trace);
    ASSERT_EQ(out.status, 0) << out.err;
    size_t page = out.out.find("<!DOCTYPE html>");
    ASSERT_NE(page, std::string::npos);
    EXPECT_NE(out.out.rfind("\"warning\"", page), std::string::npos);
    EXPECT_EQ(out.out.substr(out.out.size() - 8), "</html>\n");
}

} // namespace
