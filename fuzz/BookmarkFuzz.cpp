// Arbitrary bytes as a bookmark file: parsed, checked, written, parsed again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "media/BookmarkStore.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using zo::media::BookmarkStore;
    BookmarkStore store("/nonexistent");
    store.Parse(std::string_view(reinterpret_cast<const char*>(data), size), "k");
    const auto& items = store.Items();
    if (items.size() > BookmarkStore::kMaxBookmarks)
        __builtin_trap();
    for (size_t i = 0; i < items.size(); ++i) {
        const auto& b = items[i];
        if ((i > 0 && items[i - 1].time > b.time) || b.channel < -1 || b.channel > 15 ||
            b.note.size() > BookmarkStore::kMaxNoteBytes)
            __builtin_trap();
        for (char c : b.note)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                __builtin_trap();
    }
    (void)store.InRange(items.empty() ? 0 : items.front().time, UINT32_MAX);
    // What is written reads back as the same bookmarks.
    const std::string text = store.Text();
    BookmarkStore again("/nonexistent");
    again.Parse(text, "k");
    if (text.size() <= BookmarkStore::kMaxFileBytes && again.Items() != items)
        __builtin_trap();
    return 0;
}
