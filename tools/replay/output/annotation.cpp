#include "annotation.h"

#include "cp1251.h"
#include "pcapng_write.h"

#include <cctype>
#include <cerrno>

namespace replay {

namespace {

// The chat line as the game shows it: each {RRGGBB} tag only colours the
// text after it, so it is left out.
std::string shownText(std::string_view text) {
    std::string shown;
    for (size_t i = 0; i < text.size(); i++) {
        bool tag = i + 8 <= text.size() && text[i] == '{' && text[i + 7] == '}';
        for (size_t k = i + 1; tag && k < i + 7; k++)
            tag = std::isxdigit(static_cast<unsigned char>(text[k])) != 0;
        if (tag)
            i += 7;
        else
            shown.push_back(text[i]);
    }
    return shown;
}

// "Anna_Sokol[5]", the name in UTF-8, as the warning line names a player.
std::string playerText(uint16_t id, std::string_view cp1251Name) {
    return utf8FromCp1251(cp1251Name) + "[" + std::to_string(id) + "]";
}

// What the warning is for: the last word of its line ("... possibly
// SprintHook"), as the plugin posts it.
std::string cheatOf(std::string_view line) {
    while (!line.empty() && line.back() == ' ')
        line.remove_suffix(1);
    size_t space = line.rfind(' ');
    return std::string(space == std::string_view::npos ? line : line.substr(space + 1));
}

// The comments a packet had already (opt_comment options), so that the
// copy loses none.
std::vector<std::string> commentsOf(const capture::Record &r) {
    std::vector<std::string> comments;
    auto u16 = [&r](uint32_t at) {
        uint32_t a = r.options[at], b = r.options[at + 1];
        return r.bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    uint32_t at = 0;
    while (at + 4 <= r.optionsLength) {
        uint32_t code = u16(at), size = u16(at + 2);
        if (code == 0 || size > r.optionsLength - at - 4)
            break;
        if (code == 1)
            comments.emplace_back(reinterpret_cast<const char *>(r.options + at + 4), size);
        at += 4 + ((size + 3) & ~3u);
    }
    return comments;
}

} // namespace

Annotation::Annotation(std::FILE *out, const std::string &application) : out_(out) {
    pcapng::appendSectionHeader(buffer_, application);
}

Annotation::~Annotation() {
    if (out_)
        (void)std::fclose(out_);
}

void Annotation::record(const capture::Record &r) {
    if (r.section != section_) {
        interfaces_.clear(); // a new section numbers its interfaces afresh
        section_ = r.section;
    }
    auto key = std::make_tuple(r.section, r.interfaceId, r.resolution);
    auto found = interfaces_.find(key);
    if (found == interfaces_.end()) {
        // An interface block may come anywhere before its first packet:
        // written now, it comes before every record still held.
        pcapng::appendInterface(buffer_, static_cast<uint16_t>(r.linkType), r.snapLength,
                                r.resolution);
        found = interfaces_.emplace(key, written_++).first;
    }
    Held h{r.number,
           r.timeNs,
           found->second,
           r.units,
           r.originalLength,
           std::string(reinterpret_cast<const char *>(r.data), r.capturedLength),
           r.options ? commentsOf(r) : std::vector<std::string>()};
    heldBytes_ += h.bytes.size();
    held_.push_back(std::move(h));
    release(false);
}

Annotation::Held *Annotation::find(uint64_t number) {
    // Every record is held in order, so the numbers run without a gap.
    if (held_.empty() || number < held_.front().number || number > held_.back().number)
        return nullptr;
    return &held_[static_cast<size_t>(number - held_.front().number)];
}

void Annotation::comment(uint64_t number, std::string text) {
    if (Held *h = find(number))
        h->comments.push_back(std::move(text));
    else
        lost_++;
}

void Annotation::event(const Place &place) {
    if (place.origin <= played_)
        return;
    played_ = place.origin;
    if (const Held *h = find(played_); h && h->timeNs > playedNs_)
        playedNs_ = h->timeNs;
}

void Annotation::effect(const host::Effect &effect, const Place &place) {
    const auto *chat = std::get_if<host::ChatLine>(&effect);
    if (!chat || !place.warning)
        return;
    const WarningCause &cause = *place.warning;
    std::string line = utf8FromCp1251(shownText(chat->text));
    std::string cheat = cheatOf(line);
    std::string player = playerText(cause.player, cause.name);
    // "for the SprintHook warning about Anna_Sokol[5] at record 23"
    std::string about = cheat + " warning about " + player;
    std::string records;
    for (const SuspectPacket &p : cause.evidence) {
        records += records.empty() ? "records " : ", ";
        records += std::to_string(p.origin);
    }
    comment(place.origin,
            about + ": " + line + "; evidence: " + (records.empty() ? "none" : records));
    std::string warning = " for the " + about + " at record " + std::to_string(place.origin);
    size_t n = cause.evidence.size();
    for (size_t i = 0; i < n; i++) {
        std::string text = "evidence " + std::to_string(i + 1);
        text += " of " + std::to_string(n);
        text += warning;
        comment(cause.evidence[i].origin, std::move(text));
    }
}

void Annotation::spectate(std::optional<uint16_t> player, const std::string &name,
                          const Place &place) {
    if (player == spectated_)
        return; // set again to what it was
    spectated_ = player;
    comment(place.origin, player ? "spectate target set: " + playerText(*player, name)
                                 : std::string("spectate target cleared"));
}

void Annotation::release(bool all) {
    while (!held_.empty()) {
        Held &h = held_.front();
        bool past = h.number < played_ && playedNs_ >= h.timeNs && playedNs_ - h.timeNs > windowNs;
        bool full = held_.size() > maxHeldRecords || heldBytes_ > maxHeldBytes;
        if (!all && !past && !full)
            return;
        pcapng::appendPacket(buffer_, h.interfaceId, h.units, h.bytes, h.originalLength,
                             h.comments);
        heldBytes_ -= h.bytes.size();
        held_.pop_front();
        if (buffer_.size() >= (1u << 16))
            writeBuffer();
    }
}

void Annotation::writeBuffer() {
    if (!failed_ && out_ &&
        std::fwrite(buffer_.data(), 1, buffer_.size(), out_) != buffer_.size()) {
        failed_ = true;
        error_ = errno;
    }
    buffer_.clear();
}

void Annotation::flush() {
    release(false);
    writeBuffer();
    if (!failed_ && out_ && std::fflush(out_) != 0) {
        failed_ = true;
        error_ = errno;
    }
}

void Annotation::finish(const RunEnd & /*end*/) {
    release(true);
    writeBuffer();
    if (out_ && std::fclose(out_) != 0 && !failed_) {
        failed_ = true;
        error_ = errno;
    }
    out_ = nullptr;
}

} // namespace replay
