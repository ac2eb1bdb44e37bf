// The annotated capture: the pcapng blocks bit for bit, every record read
// back as it was (pcap in micro- and nanoseconds, pcapng with its own time
// units, simple packet blocks), the comments on the records they are about,
// and the window that lets a live run write as it goes.

// Before anything that brings in windows.h, whose "interface" is a macro.
#include "capture_writer.h"

#include "annotation.h"
#include "pcapng_write.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

using namespace replay;

namespace {

class MemorySource : public capture::ByteSource {
  public:
    explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
    size_t read(unsigned char *to, size_t most) override {
        size_t n = std::min(most, bytes_.size() - at_);
        std::memcpy(to, bytes_.data() + at_, n);
        at_ += n;
        return n;
    }

  private:
    std::string bytes_;
    size_t at_ = 0;
};

std::string text(const capwrite::Bytes &b) { return std::string(b.begin(), b.end()); }

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Seen {
    uint64_t number, timeNs;
    uint32_t linkType;
    std::string data;
    uint32_t originalLength;
    bool operator==(const Seen &o) const {
        return number == o.number && timeNs == o.timeNs && linkType == o.linkType &&
               data == o.data && originalLength == o.originalLength;
    }
};

// Every record of a capture as the reader gives it; `hook` sees them too.
std::vector<Seen> records(const std::string &file, const capture::RecordHook &hook = {}) {
    MemorySource in(file);
    capture::ContainerReader reader(in, hook);
    std::vector<Seen> seen;
    if (!reader.start())
        return seen;
    capture::Record r;
    while (reader.next(r) == capture::ContainerReader::Next::Record)
        seen.push_back({r.number, r.timeNs, r.linkType,
                        std::string(reinterpret_cast<const char *>(r.data), r.capturedLength),
                        r.originalLength});
    return seen;
}

// The comments of each packet of a little-endian pcapng file, by record.
std::map<uint64_t, std::vector<std::string>> comments(const std::string &file) {
    auto u32 = [&file](size_t at) {
        uint32_t v = 0;
        std::memcpy(&v, file.data() + at, 4);
        return v;
    };
    std::map<uint64_t, std::vector<std::string>> found;
    uint64_t number = 0;
    for (size_t at = 0; at + 12 <= file.size(); at += u32(at + 4)) {
        if (u32(at) != 6)
            continue;
        number++;
        size_t end = at + u32(at + 4) - 4;
        size_t option = at + 28 + (size_t{u32(at + 20)} + 3) / 4 * 4;
        while (option + 4 <= end) {
            uint32_t code = u32(option) & 0xFFFF, size = u32(option) >> 16;
            if (code == 0)
                break;
            if (code == 1)
                found[number].push_back(file.substr(option + 4, size));
            option += 4 + (size + 3) / 4 * 4;
        }
    }
    return found;
}

struct Annotated {
    // A name of its own: the native and the sanitizer build's tests may
    // run at the same time.
    std::string path =
        testing::TempDir() + "annotated-" + std::to_string(std::random_device{}()) + ".pcapng";
    std::unique_ptr<Annotation> annotation{
        std::make_unique<Annotation>(std::fopen(path.c_str(), "wb"), "annotate_test")};
    Annotated() = default;
    Annotated(const Annotated &) = delete;
    Annotated &operator=(const Annotated &) = delete;
    ~Annotated() {
        annotation.reset();
        (void)std::remove(path.c_str());
    }
    // Reads the capture into the annotation, the run following each record
    // at once.
    void read(const std::string &capture) {
        (void)records(capture, [this](const capture::Record &r) {
            annotation->record(r);
            annotation->event(Place{r.number, 0, 0});
        });
    }
    std::string finish() {
        annotation->finish(RunEnd{});
        EXPECT_FALSE(annotation->failed());
        return slurp(path);
    }
};

capwrite::Bytes payload(int i) {
    return capwrite::Bytes{static_cast<unsigned char>(i), 0x45, 0x00, 0x7F};
}

} // namespace

TEST(PcapngWrite, ASmallFileBitForBit) {
    std::string out;
    pcapng::appendSectionHeader(out, "t");
    pcapng::appendInterface(out, 1, 65535, 9);
    pcapng::appendPacket(out, 0, 0x100000002ull, "abc", 60, {"hi", "\xD0\xB0"});
    const unsigned char expected[] = {
        // Section header: type, length, byte-order mark, version 1.0, length
        // unknown, shb_userappl "t", end of options, length again.
        0x0A, 0x0D, 0x0D, 0x0A, 40, 0, 0, 0, 0x4D, 0x3C, 0x2B, 0x1A, 1, 0, 0, 0,  //
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 4, 0, 1, 0, 't', 0, 0, 0, //
        0, 0, 0, 0, 40, 0, 0, 0,
        // Interface: Ethernet, snapshot 65535, if_tsresol 9.
        1, 0, 0, 0, 32, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0, 0, //
        9, 0, 1, 0, 9, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0, 0,
        // Packet: interface 0, stamp high and low, 3 of 60 bytes, padded,
        // two comments, end of options.
        6, 0, 0, 0, 56, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0,          //
        2, 0, 0, 0, 3, 0, 0, 0, 60, 0, 0, 0, 'a', 'b', 'c', 0,    //
        1, 0, 2, 0, 'h', 'i', 0, 0, 1, 0, 2, 0, 0xD0, 0xB0, 0, 0, //
        0, 0, 0, 0, 56, 0, 0, 0};
    EXPECT_EQ(out, std::string(reinterpret_cast<const char *>(expected), sizeof expected));
}

TEST(PcapngWrite, ALongCommentIsCutAtACharacter) {
    std::string out;
    // 32767 two-byte letters and one more: 65536 bytes.
    std::string comment;
    for (int i = 0; i < 32768; i++)
        comment += "\xD0\xB0";
    pcapng::appendPacket(out, 0, 0, "", 0, {comment});
    uint16_t size = 0;
    std::memcpy(&size, out.data() + 28 + 2, 2);
    EXPECT_EQ(size, 65534);
    EXPECT_EQ(out.size() % 4, 0u);
}

// Each kind of input comes back record for record: bytes, time, link type
// and original length.
TEST(Annotation, KeepsEveryRecordOfEachKindOfCapture) {
    using capwrite::Frame;
    std::vector<Frame> frames = {{1700000000123456789ull, payload(1)},
                                 {1700000000123457000ull, payload(2), 1, 1500},
                                 {1700000001000000001ull, payload(3), 0, 9000}};
    std::vector<Frame> micro = frames;
    for (Frame &f : micro)
        f.timeNs -= f.timeNs % 1000;
    struct Case {
        const char *name;
        std::string file;
    } cases[] = {
        {"pcap", text(capwrite::pcap(micro, 1))},
        {"pcap ns", text(capwrite::pcap(frames, 101, true))},
        {"pcap big-endian", text(capwrite::pcap(frames, 1, true, true))},
        {"pcapng", text(capwrite::pcapng(frames, {{1, 9}, {101, 6}}))},
        {"pcapng 2^-30 s", text(capwrite::pcapng(frames, {{1, 0x80 | 30}, {101, 0x80 | 20}}))},
        {"pcapng big-endian", text(capwrite::pcapng(frames, {{1, 3}, {1, 9}}, true))},
        {"pcapng simple", text(capwrite::pcapng(frames, {{1, 6}}, false, true))},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Annotated a;
        a.read(c.file);
        std::vector<Seen> before = records(c.file);
        ASSERT_EQ(before.size(), 3u);
        EXPECT_EQ(records(a.finish()), before);
    }
}

TEST(Annotation, AWarningAndItsEvidenceAreCommentedOnTheirRecords) {
    std::vector<capwrite::Frame> frames(40);
    for (int i = 0; i < 40; i++)
        frames[size_t(i)] = {1700000000000000000ull + uint64_t(i) * 100'000'000ull, payload(i)};
    Annotated a;
    WarningCause cause{5, "Anna_Sokol", {}};
    for (uint64_t record : {20u, 22u, 24u, 26u, 28u})
        cause.evidence.push_back(SuspectPacket{record});
    (void)records(text(capwrite::pcapng(frames, {{1, 6}})), [&](const capture::Record &r) {
        a.annotation->record(r);
        Place at{r.number, 0, 0};
        a.annotation->event(at);
        if (r.number == 3)
            a.annotation->spectate(5, "\xC0\xED\xED\xE0" /* Анна */, at);
        if (r.number == 4)
            a.annotation->spectate(5, "\xC0\xED\xED\xE0", at); // the same again
        if (r.number == 29) {
            at.warning = &cause;
            // "[norvi warnings]: {ff2b2b}Anna_Sokol[5] возможно SprintHook"
            a.annotation->effect(host::ChatLine{0xFF2B2B, "[norvi warnings]: {ff2b2b}Anna_Sokol[5] "
                                                          "\xE2\xEE\xE7\xEC\xEE\xE6\xED\xEE "
                                                          "SprintHook"},
                                 at);
            a.annotation->effect(host::ChatLine{0xFFFFFF, "not a warning"}, Place{29, 0, 0});
        }
        if (r.number == 35)
            a.annotation->spectate(std::nullopt, "", at);
    });
    std::map<uint64_t, std::vector<std::string>> expected = {
        {3, {"spectate target set: \xD0\x90\xD0\xBD\xD0\xBD\xD0\xB0[5]"}},
        {20, {"evidence 1 of 5 for the SprintHook warning about Anna_Sokol[5] at record 29"}},
        {22, {"evidence 2 of 5 for the SprintHook warning about Anna_Sokol[5] at record 29"}},
        {24, {"evidence 3 of 5 for the SprintHook warning about Anna_Sokol[5] at record 29"}},
        {26, {"evidence 4 of 5 for the SprintHook warning about Anna_Sokol[5] at record 29"}},
        {28, {"evidence 5 of 5 for the SprintHook warning about Anna_Sokol[5] at record 29"}},
        {29,
         {"SprintHook warning about Anna_Sokol[5]: [norvi warnings]: Anna_Sokol[5] "
          "\xD0\xB2\xD0\xBE\xD0\xB7\xD0\xBC\xD0\xBE\xD0\xB6\xD0\xBD\xD0\xBE SprintHook; "
          "evidence: records 20, 22, 24, 26, 28"}},
        {35, {"spectate target cleared"}},
    };
    EXPECT_EQ(comments(a.finish()), expected);
    EXPECT_EQ(a.annotation->lostComments(), 0u);
}

// Comments a capture had (in either byte order) stay, before the new ones.
TEST(Annotation, KeepsTheCommentsTheCaptureHad) {
    std::string little;
    pcapng::appendSectionHeader(little, "Wireshark");
    pcapng::appendInterface(little, 1, 65535, 6);
    pcapng::appendPacket(little, 0, 1, "abcde", 5, {"seen by hand", "twice"});
    pcapng::appendPacket(little, 0, 2, "fgh", 3, {});
    // The same, big-endian, built byte by byte: a section header, an
    // interface (Ethernet, no options) and a packet with one comment.
    const unsigned char big[] = {
        // Section header, 28 bytes.
        0x0A, 0x0D, 0x0D, 0x0A, 0, 0, 0, 28, 0x1A, 0x2B, 0x3C, 0x4D, 0, 1, 0, 0, //
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 28,             //
        // Interface, 20 bytes.
        0, 0, 0, 1, 0, 0, 0, 20, 0, 1, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0, 20, //
        // Packet, 52 bytes: the header, 3 bytes padded, the comment "big!!"
        // padded, the end of options.
        0, 0, 0, 6, 0, 0, 0, 52, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, //
        0, 0, 0, 3, 0, 0, 0, 3, 'i', 'j', 'k', 0,                    //
        0, 1, 0, 5, 'b', 'i', 'g', '!', '!', 0, 0, 0,                //
        0, 0, 0, 0, 0, 0, 0, 52};
    struct Case {
        const char *name;
        std::string file;
        std::map<uint64_t, std::vector<std::string>> expected;
    } cases[] = {
        {"little-endian", little, {{1, {"seen by hand", "twice", "spectate target set: [7]"}}}},
        {"big-endian",
         std::string(reinterpret_cast<const char *>(big), sizeof big),
         {{1, {"big!!", "spectate target set: [7]"}}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Annotated a;
        (void)records(c.file, [&a](const capture::Record &r) {
            a.annotation->record(r);
            if (r.number == 1)
                a.annotation->spectate(7, "", Place{1, 0, 0});
        });
        EXPECT_EQ(comments(a.finish()), c.expected);
    }
}

// A live run writes records once the run is the window's length past them,
// and everything at the end; a comment for a record already written is
// counted as lost.
TEST(Annotation, WritesRecordsAsTheRunLeavesThemBehind) {
    std::vector<capwrite::Frame> frames(30);
    for (int i = 0; i < 30; i++)
        frames[size_t(i)] = {1700000000000000000ull + uint64_t(i) * 1'000'000'000ull, payload(i)};
    Annotated a;
    (void)records(text(capwrite::pcap(frames, 1)), [&](const capture::Record &r) {
        a.annotation->record(r);
        if (r.number <= 25)
            a.annotation->event(Place{r.number, 0, 0});
    });
    a.annotation->flush();
    // The run is at record 25, 24 s in: records more than 10 s before it
    // (records 1 to 14, 0 to 13 s) are out; the rest are held for comments
    // to come.
    EXPECT_EQ(records(slurp(a.path)).size(), 14u);
    a.annotation->comment(15, "held");
    a.annotation->comment(14, "written already");
    EXPECT_EQ(a.annotation->lostComments(), 1u);
    std::string file = a.finish();
    EXPECT_EQ(records(file).size(), 30u);
    EXPECT_EQ(comments(file), (std::map<uint64_t, std::vector<std::string>>{{15, {"held"}}}));
}

TEST(Annotation, AFailedWriteIsReported) {
    std::FILE *full = std::fopen("/dev/full", "wb");
    if (!full)
        GTEST_SKIP() << "no /dev/full here";
    Annotation annotation(full, "annotate_test");
    (void)records(text(capwrite::pcap({{1700000000000000000ull, payload(1)}}, 1)),
                  [&](const capture::Record &r) { annotation.record(r); });
    annotation.finish(RunEnd{});
    EXPECT_TRUE(annotation.failed());
    EXPECT_EQ(annotation.error(), ENOSPC);
}
