// Profile: the application's settings file, an INI text of sections and
// "key=value" lines.
//
// Read semantics follow the classic private-profile calls: section and key
// names compare without regard to letter case, blanks around names and
// values are dropped (blanks inside a key, as in "Capture Path", stay), a
// value enclosed in matching double quotes loses them, an integer read
// yields the leading decimal digits (with an optional sign) or 0, and a
// missing key yields the caller's default.
//
// The file is untrusted: at most kMaxFileBytes are read, lines without '='
// outside a section header are ignored, nothing is ever executed or
// expanded. Writing keeps every other section and key of the file, updates
// keys in place and appends new ones in the order they are set, and
// replaces the file atomically (temporary file in the same folder, flushed
// to the disk, then renamed over the old one) so a crash or a full disk
// never leaves half a profile.
//
// Plain value class; not thread-safe.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zo::platform {

class Profile {
public:
    static constexpr size_t kMaxFileBytes = 1 << 20;

    Profile() = default;
    explicit Profile(std::string path) : path_(std::move(path)) {}

    // $XDG_CONFIG_HOME/zoviewer/zoviewer.ini, with ~/.config when the
    // variable is unset, empty or not absolute.
    static std::string DefaultPath();

    const std::string& Path() const { return path_; }

    // Reads the file. A missing file is an empty profile (true); a file
    // that cannot be read leaves the profile empty and gives false with the
    // reason in `error` (when given).
    bool Load(std::string* error = nullptr);
    // Parses `text` (at most kMaxFileBytes of it), replacing the content.
    void Parse(std::string_view text);

    std::string GetString(std::string_view section, std::string_view key, std::string_view fallback) const;
    int GetInt(std::string_view section, std::string_view key, int fallback) const;
    bool Has(std::string_view section, std::string_view key) const;
    void SetString(std::string_view section, std::string_view key, std::string_view value);
    void SetInt(std::string_view section, std::string_view key, int value);

    // The file's text as Save writes it.
    std::string Text() const;
    // Writes the file atomically, creating its folder (with parents). false
    // with the reason in `error` when it cannot; the old file is then left
    // as it was.
    bool Save(std::string* error = nullptr) const;

    // The integer read: leading blanks, an optional sign and the leading
    // digits, clamped to int; 0 without digits.
    static int ParseInt(std::string_view text);

private:
    struct Entry {
        std::string key;
        std::string value;
    };
    struct Section {
        std::string name;
        std::vector<Entry> entries;
    };
    const Entry* Find(std::string_view section, std::string_view key) const;

    std::string path_;
    std::vector<Section> sections_;
};

}  // namespace zo::platform
