// BookmarkStore: the user's bookmarks on one recording or disk, each a block
// time, a channel and an optional note. They are kept per source in the
// user's data folder ($XDG_DATA_HOME/zoviewer, ~/.local/share/zoviewer by
// default), never beside the source, in a file named by the source's key
// (media::SourceKey, as the time index cache is), so a changed source
// starts with none. The viewer adds, lists and deletes them; `zrf
// evidence` puts those inside its range into its report.
//
// The file is untrusted: at most kMaxFileBytes are read, at most
// kMaxBookmarks kept, notes cut to kMaxNoteBytes, lines that do not parse
// are dropped. Saving replaces the file atomically (temporary file, sync,
// rename).
//
// Plain value class; not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zo::media {

struct Bookmark {
    static constexpr int kAllChannels = -1;
    uint32_t time = 0;              // block time: seconds since 1970, no zone shift
    int channel = kAllChannels;     // 0..15, or kAllChannels (a split view)
    std::string note;               // one line, may be empty

    bool operator==(const Bookmark&) const = default;
};

class BookmarkStore {
public:
    static constexpr size_t kMaxFileBytes = 1 << 20;
    static constexpr size_t kMaxBookmarks = 10000;
    static constexpr size_t kMaxNoteBytes = 500;

    // `folder` holds the bookmark files of every source.
    explicit BookmarkStore(std::string folder = DefaultFolder()) : folder_(std::move(folder)) {}

    // $XDG_DATA_HOME/zoviewer, or ~/.local/share/zoviewer when the variable
    // is unset, empty or not absolute; empty when neither is known.
    static std::string DefaultFolder();
    const std::string& Folder() const { return folder_; }
    // The file of the source with `key`.
    std::string FilePath(const std::string& key) const;

    // Reads the bookmarks of the source with `key`. No file is no bookmark
    // (true); a file that cannot be read gives false with the reason.
    bool Load(const std::string& key, std::string* error = nullptr);
    // Parses a file's text (at most kMaxFileBytes of it) for `key`; a text
    // made for another key gives no bookmark.
    void Parse(std::string_view text, const std::string& key);
    // The file's text as Save writes it.
    std::string Text() const;
    // Writes the file of the current key atomically, creating the folder.
    bool Save(std::string* error = nullptr) const;

    const std::string& Key() const { return key_; }
    // In time order (equal times in the order they were added).
    const std::vector<Bookmark>& Items() const { return items_; }
    // Adds one (its note made one line and cut); false when the store is
    // full. Returns the index it took in Items().
    bool Add(Bookmark bookmark, size_t* index = nullptr);
    bool Remove(size_t index);
    // Those with `from` <= time <= `to`, in time order.
    std::vector<Bookmark> InRange(uint32_t from, uint32_t to) const;

    // A note as stored: control characters become blanks, cut to
    // kMaxNoteBytes at a character boundary.
    static std::string CleanNote(std::string_view note);

private:
    std::string folder_;
    std::string key_;
    std::vector<Bookmark> items_;
};

}  // namespace zo::media
