#include "media/BookmarkStore.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/OutputFile.h"

namespace zo::media {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kMagic = "zoviewer bookmarks 1";

// Splits off the text up to the next tab (or the line's end).
std::string_view NextField(std::string_view& line) {
    const size_t tab = line.find('\t');
    const std::string_view field = line.substr(0, tab);
    line = tab == std::string_view::npos ? std::string_view() : line.substr(tab + 1);
    return field;
}

// A whole unsigned decimal number.
template <typename T>
bool Number(std::string_view text, T& value) {
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size() && !text.empty();
}

}  // namespace

std::string BookmarkStore::DefaultFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && *xdg == '/')
        return (fs::path(xdg) / "zoviewer").string();
    const char* home = std::getenv("HOME");
    return home && *home ? (fs::path(home) / ".local" / "share" / "zoviewer").string() : std::string();
}

std::string BookmarkStore::FilePath(const std::string& key) const {
    return (fs::path(folder_) / ("bookmarks-" + key.substr(0, 32) + ".txt")).string();
}

std::string BookmarkStore::CleanNote(std::string_view note) {
    std::string out;
    out.reserve(std::min(note.size(), kMaxNoteBytes));
    for (char c : note) {
        const auto u = static_cast<unsigned char>(c);
        out += (u < 0x20 || u == 0x7F) ? ' ' : c;
    }
    if (out.size() > kMaxNoteBytes) {
        size_t cut = kMaxNoteBytes;
        // Never in the middle of a UTF-8 sequence.
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80)
            --cut;
        out.resize(cut);
    }
    return out;
}

void BookmarkStore::Parse(std::string_view text, const std::string& key) {
    key_ = key;
    items_.clear();
    text = text.substr(0, kMaxFileBytes);
    auto nextLine = [&text](std::string_view& line) {
        if (text.empty())
            return false;
        const size_t nl = text.find('\n');
        line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
        return true;
    };
    std::string_view line;
    if (!nextLine(line) || line != kMagic || !nextLine(line) || line != key)
        return;
    while (items_.size() < kMaxBookmarks && nextLine(line)) {
        Bookmark b;
        uint32_t channel = 0;
        if (!Number(NextField(line), b.time))
            continue;
        const std::string_view channelText = NextField(line);
        if (channelText == "-")
            b.channel = Bookmark::kAllChannels;
        else if (Number(channelText, channel) && channel < 16)
            b.channel = static_cast<int>(channel);
        else
            continue;
        b.note = CleanNote(line);
        items_.push_back(std::move(b));
    }
    std::stable_sort(items_.begin(), items_.end(), [](const Bookmark& a, const Bookmark& b) { return a.time < b.time; });
}

bool BookmarkStore::Load(const std::string& key, std::string* error) {
    key_ = key;
    items_.clear();
    const std::string path = FilePath(key);
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (errno == ENOENT || !fs::exists(path))
            return true;
        if (error)
            *error = path + ": " + std::strerror(errno);
        return false;
    }
    std::string text(kMaxFileBytes, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<size_t>(in.gcount()));
    if (in.bad()) {
        if (error)
            *error = path + ": cannot be read";
        return false;
    }
    Parse(text, key);
    return true;
}

std::string BookmarkStore::Text() const {
    std::string out(kMagic);
    out += "\n" + key_ + "\n";
    for (const Bookmark& b : items_) {
        out += std::to_string(b.time) + "\t";
        out += b.channel == Bookmark::kAllChannels ? std::string("-") : std::to_string(b.channel);
        out += "\t" + b.note + "\n";
    }
    return out;
}

bool BookmarkStore::Save(std::string* error) const {
    if (folder_.empty() || key_.empty()) {
        if (error)
            *error = folder_.empty() ? "no data folder (neither XDG_DATA_HOME nor HOME is set)" : "no source";
        return false;
    }
    std::error_code ec;
    fs::create_directories(folder_, ec);
    const std::string text = Text();
    platform::OutputFile out;
    if (!out.Open(FilePath(key_)) || !out.Write(text.data(), text.size()) || !out.Commit()) {
        if (error)
            *error = out.Error();
        return false;
    }
    return true;
}

bool BookmarkStore::Add(Bookmark bookmark, size_t* index) {
    if (items_.size() >= kMaxBookmarks)
        return false;
    if (bookmark.channel < 0 || bookmark.channel >= 16)
        bookmark.channel = Bookmark::kAllChannels;
    bookmark.note = CleanNote(bookmark.note);
    const auto at = std::upper_bound(items_.begin(), items_.end(), bookmark.time,
                                     [](uint32_t t, const Bookmark& b) { return t < b.time; });
    const size_t i = static_cast<size_t>(at - items_.begin());
    items_.insert(at, std::move(bookmark));
    if (index)
        *index = i;
    return true;
}

bool BookmarkStore::Remove(size_t index) {
    if (index >= items_.size())
        return false;
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
    return true;
}

std::vector<Bookmark> BookmarkStore::InRange(uint32_t from, uint32_t to) const {
    std::vector<Bookmark> out;
    for (const Bookmark& b : items_)
        if (b.time >= from && b.time <= to)
            out.push_back(b);
    return out;
}

}  // namespace zo::media
