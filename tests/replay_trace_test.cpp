// The replay tool's trace reader: what each event line turns into, and the
// message for every kind of bad line.
#include "trace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

using namespace replay;

namespace {

Event only(const std::string &line) {
    ParsedTrace trace = parseTrace(line);
    EXPECT_FALSE(trace.error) << line << " -> " << trace.error->describe();
    EXPECT_EQ(trace.events.size(), 1u);
    return trace.events.empty() ? Event{} : trace.events[0];
}

std::string errorOf(const std::string &text) {
    ParsedTrace trace = parseTrace(text);
    EXPECT_TRUE(trace.events.empty()) << "a bad trace keeps no events";
    return trace.error ? trace.error->describe() : "(accepted)";
}

} // namespace

TEST(ReplayTrace, HostSettingsReadAsGiven) {
    EXPECT_EQ(std::get<SetTick>(only(R"({"tick": 4294967295})")).tick, 4294967295u);
    EXPECT_EQ(std::get<Advance>(only(R"({"advance": 0})")).ms, 0u);
    EXPECT_EQ(std::get<SetGame>(only(R"({"game": -3})")).state, -3);
    EXPECT_EQ(std::get<SetGame>(only(R"({"game": null})")).state, std::nullopt);
    EXPECT_FALSE(std::get<SetSampReady>(only(R"({"sampReady": false})")).ready);
    SetScreen screen = std::get<SetScreen>(only(R"({"screen": [800, 600]})"));
    EXPECT_EQ(screen.width, 800);
    EXPECT_EQ(screen.height, 600);
    replay::SetCursor cursor = std::get<replay::SetCursor>(only(R"({"cursor": [-5, 7]})"));
    EXPECT_EQ(cursor.x, -5);
    EXPECT_EQ(cursor.y, 7);
    EXPECT_TRUE(std::get<SetLeftButton>(only(R"({"lmb": true})")).pressed);
    EXPECT_TRUE(std::get<replay::SetMenu>(only(R"({"menu": true})")).active);
    EXPECT_FALSE(std::get<SetCanDraw>(only(R"({"canDraw": false})")).canDraw);
    EXPECT_EQ(std::get<SetBeginRender>(only(R"({"beginRender": -1})")).result, -1);
    EXPECT_EQ(std::get<SetFontHeight>(only(R"({"fontHeight": 0.1})")).height, 0.1f);
    EXPECT_TRUE(std::get<SetFontFails>(only(R"({"fontFails": true})")).fails);
}

TEST(ReplayTrace, PlayerNamesBecomeWindows1251AndLeftOutCompanionsStayUnset) {
    SetPlayer p =
        std::get<SetPlayer>(only(R"({"player": 7, "name": "Вася", "color": "ff00aa11"})"));
    EXPECT_EQ(p.id, 7);
    EXPECT_EQ(p.name, std::optional<std::string>("\xC2\xE0\xF1\xFF")); // Вася
    EXPECT_EQ(p.colour, 0xFF00AA11u);

    SetPlayer noName = std::get<SetPlayer>(only(R"({"player": 7, "name": null})"));
    ASSERT_TRUE(noName.name.has_value());
    EXPECT_FALSE(noName.name->has_value());
    EXPECT_FALSE(noName.colour.has_value());

    SetPlayer colourOnly = std::get<SetPlayer>(only(R"({"player": 65535, "color": "00000000"})"));
    EXPECT_FALSE(colourOnly.name.has_value());
}

TEST(ReplayTrace, PacketsRpcsAndCommands) {
    Packet p = std::get<Packet>(only(R"({"packet": "cFab01"})"));
    EXPECT_EQ(p.bytes, (std::vector<unsigned char>{0xCF, 0xAB, 0x01}));
    EXPECT_EQ(p.bitCount, 24u);
    EXPECT_EQ(p.id, 0xCFu) << "the first byte names the packet";

    Packet cut = std::get<Packet>(only(R"({"packet": "CF00", "bits": 9, "id": 300})"));
    EXPECT_EQ(cut.bitCount, 9u);
    EXPECT_EQ(cut.id, 300u);

    Rpc rpc = std::get<Rpc>(only(R"({"rpc": 124, "data": ""})"));
    EXPECT_EQ(rpc.id, 124u);
    EXPECT_TRUE(rpc.data.empty());

    EXPECT_EQ(std::get<Spectate>(only(R"({"spectate": 12})")).player, 12);
    EXPECT_EQ(std::get<Spectate>(only(R"({"spectate": null})")).player, std::nullopt);
    EXPECT_EQ(std::get<Frames>(only(R"({"frame": 3})")).count, 3u);

    Command c = std::get<Command>(only(R"({"command": "norvi_setpos"})"));
    EXPECT_EQ(c.name, "norvi_setpos");
    EXPECT_EQ(c.args, "");
    EXPECT_EQ(std::get<Command>(only(R"({"command": "x", "args": "да"})")).args, "\xE4\xE0");
}

TEST(ReplayTrace, SyncFieldsHaveTheirDefaults) {
    Sync s = std::get<Sync>(only(R"({"sync": {"player": 3}})"));
    EXPECT_EQ(s.player, 3);
    EXPECT_EQ(s.keys, 0);
    EXPECT_FALSE(s.leftRight || s.upDown || s.surf || s.animation);
    EXPECT_EQ(s.quaternion[0], 1.0);
    EXPECT_EQ(s.health, 100);
    EXPECT_EQ(s.armour, 0);
    EXPECT_EQ(s.velocity[0], 0.0);

    Sync full = std::get<Sync>(
        only(R"({"sync": {"player": 3, "keys": 65535, "leftRight": 1, "upDown": 65535, )"
             R"("position": [1, 2.5, -3], "quaternion": [-0.0, 0, 1, 0], "health": 50, )"
             R"("armour": 100, "weapon": 255, "specialAction": 2, "velocity": [0.1, 0, 0], )"
             R"("surf": {"vehicle": 9, "offset": [0.5, 0, 1e30]}, "animation": [1228, -32766]}})"));
    EXPECT_EQ(full.leftRight, 1);
    EXPECT_EQ(full.upDown, 65535);
    EXPECT_EQ(full.position[1], 2.5f);
    EXPECT_TRUE(std::signbit(full.quaternion[0]));
    EXPECT_EQ(full.surf->vehicle, 9);
    EXPECT_EQ(full.surf->offset[2], 1e30f);
    EXPECT_EQ(full.animation->flags, 0x8002) << "a negative flags word is its 16 bits";
}

TEST(ReplayTrace, FloatsAreRoundedOnceFromTheirDigits) {
    // 1.00000005960464477539062500001 lies just above the midpoint between
    // 1 and the next float: rounded once it goes up; through double first
    // it would land on the midpoint and go to even, 1.0.
    Sync s = std::get<Sync>(
        only(R"({"sync": {"player": 0, "position": [1.00000005960464477539062500001, 0, 0]}})"));
    EXPECT_EQ(s.position[0], std::nextafter(1.0f, 2.0f));
}

TEST(ReplayTrace, FloatsOnTheHalfwayPointBetweenTwoFloatsFollowTheirDigits) {
    // 1.000000059604644775390625 is exactly halfway between 1 and the next
    // float: it goes to the even one, 1. Digits just below or above the
    // halfway point read as the same double, but go down or up.
    auto first = [](const std::string &number) {
        return std::get<Sync>(
                   only(R"({"sync": {"player": 0, "position": [)" + number + R"(, 0, 0]}})"))
            .position[0];
    };
    const float above = std::nextafter(1.0f, 2.0f);
    EXPECT_EQ(first("1.000000059604644775390625"), 1.0f);
    EXPECT_EQ(first("1.0000000596046447753906249999999"), 1.0f);
    EXPECT_EQ(first("1.0000000596046447753906250000001"), above);
    EXPECT_EQ(first("-1.0000000596046447753906250000001"), -above);
    EXPECT_EQ(first("1.0000000596046448"), above) << "an ordinary number";
    EXPECT_EQ(first("5e-324"), 0.0f) << "below the smallest float";
}

TEST(ReplayTrace, NumbersBeyondADoublesRangeAreReadAndFoundOutOfRange) {
    EXPECT_EQ(errorOf(R"({"fontHeight": 1e400})"),
              "1: \"fontHeight\" must be a finite number within single precision");
    EXPECT_EQ(errorOf(R"({"sync": {"player": 1, "velocity": [0, -1e999, 0]}})"),
              "1: \"sync.velocity\" must be a finite number within single precision");
    EXPECT_EQ(errorOf(R"({"tick": 123456789012345678901234567890})"),
              "1: \"tick\" must be an integer from 0 to 4294967295");
    // A tiny number is a zero, not an error.
    EXPECT_EQ(std::get<SetFontHeight>(only(R"({"fontHeight": 1e-400})")).height, 0.0f);
}

TEST(ReplayTrace, AnRpcMayGiveTheBitLengthOfItsParameters) {
    Rpc whole = std::get<Rpc>(only(R"({"rpc": 126, "data": "0500"})"));
    EXPECT_EQ(whole.bitCount, 16u);
    Rpc cut = std::get<Rpc>(only(R"({"rpc": 126, "data": "0500", "bits": 9})"));
    EXPECT_EQ(cut.bitCount, 9u);
    EXPECT_EQ(cut.data, (std::vector<unsigned char>{0x05, 0x00}));
    EXPECT_EQ(errorOf(R"({"rpc": 126, "data": "05", "bits": 9})"),
              "1: \"bits\" must be an integer from 0 to 8");
}

TEST(ReplayTrace, CommentsBlankLinesAndCrLfAreSkippedButCounted) {
    ParsedTrace trace = parseTrace("# a comment\n\n   \t\n  # another\r\n{\"frame\": 1}\r\n");
    EXPECT_FALSE(trace.error);
    EXPECT_EQ(trace.events.size(), 1u);
    EXPECT_EQ(errorOf("# one\n\n{\"frame\": 0}\n"),
              "3: \"frame\" must be an integer from 1 to 2147483647");
}

TEST(ReplayTrace, EscapedAndPlainSpellingsReadTheSame) {
    // Escapes are undone before a name or text is converted.
    Command plain = std::get<Command>(only(R"({"command": "norvi_setpos", "args": "a b"})"));
    Command escaped =
        std::get<Command>(only(R"({"command":"norvi\u005fsetpos","args":"a\u0020b"} )"));
    EXPECT_EQ(plain.name, escaped.name);
    EXPECT_EQ(plain.args, escaped.args);
}

TEST(ReplayTrace, EveryBadLineIsNamedWithWhatIsWrong) {
    struct Case {
        const char *line;
        const char *message;
    };
    const Case cases[] = {
        {R"({"frame": 1)", "1: not JSON at column 12: syntax error while parsing object - "
                           "unexpected end of input; expected '}'"},
        {R"([1, 2])", "1: an event must be a JSON object"},
        {R"({})", "1: no event; expected one of tick, advance, game, sampReady, player, screen, "
                  "cursor, lmb, menu, canDraw, beginRender, fontHeight, fontFails, frame, packet, "
                  "sync, rpc, spectate, command"},
        {R"({"jump": 1})", "1: unknown key \"jump\"; an event is one of tick, advance, game, "
                           "sampReady, player, screen, cursor, lmb, menu, canDraw, beginRender, "
                           "fontHeight, fontFails, frame, packet, sync, rpc, spectate, command"},
        {R"({"frame": 1, "tick": 2})", "1: two events on one line: \"frame\" and \"tick\""},
        {R"({"frame": 1, "data": "00"})", "1: \"data\" does not belong to a \"frame\" event"},
        {R"({"frame": 1, "frame": 2})", "1: the key \"frame\" appears twice"},
        {R"({"tick": 4294967296})", "1: \"tick\" must be an integer from 0 to 4294967295"},
        {R"({"tick": -1})", "1: \"tick\" must be an integer from 0 to 4294967295"},
        {R"({"tick": 1.0})", "1: \"tick\" must be an integer from 0 to 4294967295"},
        {R"({"advance": "5"})", "1: \"advance\" must be an integer from 0 to 4294967295"},
        {R"({"game": true})", "1: \"game\" must be an integer from -2147483648 to 2147483647"},
        {R"({"sampReady": 1})", "1: \"sampReady\" must be true or false"},
        {R"({"player": 65536})", "1: \"player\" must be an integer from 0 to 65535"},
        {R"({"player": 1, "name": "日本"})", "1: \"name\" has a character that Windows-1251 lacks"},
        {R"({"player": 1, "name": 5})", "1: \"name\" must be a string"},
        {R"({"player": 1, "color": "FFFFFF"})",
         "1: \"color\" must be a colour of 8 hexadecimal digits, \"AARRGGBB\""},
        {R"({"player": 1, "color": "FFFFFFFG"})",
         "1: \"color\" must be a colour of 8 hexadecimal digits, \"AARRGGBB\""},
        {R"({"screen": [0, 600]})", "1: \"screen width\" must be an integer from 1 to 2147483647"},
        {R"({"screen": [800]})", "1: \"screen\" must be an array of 2 integers above 0, [W, H]"},
        {R"({"cursor": [1, 2.5]})",
         "1: \"cursor y\" must be an integer from -2147483648 to 2147483647"},
        {R"({"fontHeight": 1e39})",
         "1: \"fontHeight\" must be a finite number within single precision"},
        {R"({"frame": 0})", "1: \"frame\" must be an integer from 1 to 2147483647"},
        {R"({"packet": ""})", "1: \"packet\" must hold at least one byte"},
        {R"({"packet": "ABC"})",
         "1: \"packet\" must be a string of hexadecimal digits, two for each byte"},
        {R"({"packet": "zz"})",
         "1: \"packet\" must be a string of hexadecimal digits, two for each byte"},
        {R"({"packet": "CF00", "bits": 17})", "1: \"bits\" must be an integer from 0 to 16"},
        {R"({"rpc": 126})", "1: \"rpc\" needs \"data\""},
        {R"({"spectate": -1})", "1: \"spectate\" must be an integer from 0 to 65535"},
        {R"({"command": "x", "args": null})", "1: \"args\" must be a string"},
        {R"({"sync": 5})", "1: \"sync\" must be an object of the packet's fields"},
        {R"({"sync": {}})", "1: \"sync\" needs \"player\""},
        {R"({"sync": {"player": 1, "speed": 3}})",
         "1: \"speed\" does not belong to a \"sync\" event"},
        {R"({"sync": {"player": 1, "health": 101}})",
         "1: \"sync.health\" must be an integer from 0 to 100"},
        {R"({"sync": {"player": 1, "weapon": 256}})",
         "1: \"sync.weapon\" must be an integer from 0 to 255"},
        {R"({"sync": {"player": 1, "position": [1, 2]}})",
         "1: \"sync.position\" must be an array of 3 numbers"},
        {R"({"sync": {"player": 1, "velocity": [1e39, 0, 0]}})",
         "1: \"sync.velocity\" must be a finite number within single precision"},
        {R"({"sync": {"player": 1, "quaternion": [1, 0, 0]}})",
         "1: \"sync.quaternion\" must be an array of 4 numbers, w, x, y, z"},
        {R"({"sync": {"player": 1, "surf": {"vehicle": 1}}})", "1: \"sync.surf\" needs \"offset\""},
        {R"({"sync": {"player": 1, "surf": {"vehicle": 1, "offset": [0, 0, 0], "x": 1}}})",
         "1: \"x\" does not belong to a \"sync.surf\""},
        {R"({"sync": {"player": 1, "animation": [1, 65536]}})",
         "1: \"sync.animation flags\" must be an integer from -32768 to 65535"},
        // Lines that are not JSON: where reading stopped, and why.
        {R"({"frame" 1})", "1: not JSON at column 10: syntax error while parsing object "
                           "separator - unexpected number literal; expected ':'"},
        {R"({"frame": 1}})", "1: not JSON at column 13: syntax error while parsing value - "
                             "unexpected '}'; expected end of input"},
        {R"({"frame": 1} {"frame": 2})", "1: not JSON at column 14: syntax error while "
                                         "parsing value - unexpected '{'; expected end of "
                                         "input"},
        {R"({"frame": [1,]})", "1: not JSON at column 14: syntax error while parsing value - "
                               "unexpected ']'; expected '[', '{', or a literal"},
        {R"({"frame": tru})", "1: not JSON at column 14: syntax error while parsing value - "
                              "invalid literal; last read: '\"frame\": tru}'"},
        {R"({"frame": 01})", "1: not JSON at column 12: syntax error while parsing object - "
                             "unexpected number literal; expected '}'"},
        {R"({"frame": -})", "1: not JSON at column 12: syntax error while parsing value - "
                            "invalid number; expected digit after '-'; last read: '-}'"},
        {R"({"a": "\q"})", "1: not JSON at column 9: syntax error while parsing value - "
                           "invalid string: forbidden character after backslash; last read: "
                           "'\"\\q'"},
        {"{\"frame\": \"ab", "1: not JSON at column 14: syntax error while parsing value - "
                             "invalid string: missing closing quote; last read: '\"ab'"},
        // A number beyond a double's range is JSON: the fault lies after it.
        {R"({"fontHeight": 1e400, "x": tru})", "1: not JSON at column 31: syntax error while "
                                               "parsing value - invalid literal; last read: "
                                               "'\"x\": tru}'"},
        {R"({"fontHeight": -1e674.9})", "1: not JSON at column 22: syntax error while parsing "
                                        "object - invalid literal; last read: '-1e674.'; "
                                        "expected '}'"},
        {R"({"frame": 1, "x": {"a": 1, "a": 2}})", "1: the key \"a\" appears twice"},
    };
    for (const Case &c : cases)
        EXPECT_EQ(errorOf(c.line), c.message) << c.line;
}

TEST(ReplayTrace, TheFirstBadLineWinsAndNothingIsKept) {
    ParsedTrace trace = parseTrace("{\"frame\": 1}\n{\"frame\": 2}\n{\"frame\": -1}\n{\"bad\n");
    ASSERT_TRUE(trace.error);
    EXPECT_EQ(trace.error->line, 3u);
    EXPECT_TRUE(trace.events.empty());
}

// A long trace is read in pieces at once; what it gives must not show it.
TEST(ReplayTrace, ALongTraceReadsAsOneWholeInOrder) {
    std::string text;
    const int lines = 400000; // about 17 MB: several pieces
    for (int i = 1; i <= lines; i++)
        text += "{\"advance\": " + std::to_string(i) + "}                      \n";
    text.pop_back(); // no newline after the last line
    ParsedTrace trace = parseTrace(text);
    ASSERT_FALSE(trace.error);
    ASSERT_EQ(trace.events.size(), static_cast<size_t>(lines));
    for (int i : {0, 1, lines / 2, lines - 1})
        EXPECT_EQ(std::get<Advance>(trace.events[static_cast<size_t>(i)]).ms,
                  static_cast<uint32_t>(i + 1));

    // Two bad lines past the first piece: the earlier one is named, by its
    // place in the whole trace, and nothing is kept.
    size_t late = text.rfind('\n', text.size() - 1000) + 1;
    text.insert(late, "{\"frame\": 0}\n");
    size_t early = text.find('\n', text.size() / 5 * 3) + 1;
    text.insert(early, "{\"bad\n");
    trace = parseTrace(text);
    ASSERT_TRUE(trace.error);
    EXPECT_EQ(trace.error->line, static_cast<size_t>(std::count(
                                     text.begin(), text.begin() + static_cast<long>(early), '\n')) +
                                     1);
    EXPECT_TRUE(trace.events.empty());
}

TEST(ReplayTrace, DeepNestingIsRefusedNotFollowed) {
    std::string deep = "{\"frame\": " + std::string(100000, '[') + "}";
    EXPECT_EQ(errorOf(deep), "1: nested too deep");
}
