#include "platform/Profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace zo::platform {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (std::tolower(ca) != std::tolower(cb))
            return false;
    }
    return true;
}

std::string ErrnoText(int error) { return std::generic_category().message(error); }

}  // namespace

std::string Profile::DefaultPath() {
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home != nullptr && home[0] == '/' ? home : "/tmp") + "/.config";
    }
    return base + "/zoviewer/zoviewer.ini";
}

int Profile::ParseInt(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        value = -value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

void Profile::Parse(std::string_view text) {
    sections_.clear();
    if (text.size() > kMaxFileBytes)
        text = text.substr(0, kMaxFileBytes);
    Section* current = nullptr;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        std::string_view line = Trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            const size_t close = line.find(']');
            if (close == std::string_view::npos) {
                current = nullptr;
                continue;
            }
            const std::string_view name = Trim(line.substr(1, close - 1));
            auto it = std::find_if(sections_.begin(), sections_.end(),
                                   [&](const Section& s) { return SameName(s.name, name); });
            if (it == sections_.end()) {
                sections_.push_back({std::string(name), {}});
                current = &sections_.back();
            } else {
                current = &*it;
            }
            continue;
        }
        const size_t eq = line.find('=');
        if (current == nullptr || eq == std::string_view::npos)
            continue;
        const std::string_view key = Trim(line.substr(0, eq));
        std::string_view value = Trim(line.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        if (key.empty())
            continue;
        auto it = std::find_if(current->entries.begin(), current->entries.end(),
                               [&](const Entry& e) { return SameName(e.key, key); });
        // The first occurrence of a key wins, as with the classic reads.
        if (it == current->entries.end())
            current->entries.push_back({std::string(key), std::string(value)});
    }
}

bool Profile::Load(std::string* error) {
    sections_.clear();
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return true;
        if (error)
            *error = ErrnoText(errno);
        return false;
    }
    std::string text;
    text.resize(kMaxFileBytes);
    size_t got = 0;
    bool ok = true;
    while (got < text.size()) {
        const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (error)
                *error = ErrnoText(errno);
            ok = false;
            break;
        }
        if (n == 0)
            break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (!ok)
        return false;
    text.resize(got);
    Parse(text);
    return true;
}

const Profile::Entry* Profile::Find(std::string_view section, std::string_view key) const {
    for (const Section& s : sections_) {
        if (!SameName(s.name, section))
            continue;
        for (const Entry& e : s.entries)
            if (SameName(e.key, key))
                return &e;
    }
    return nullptr;
}

bool Profile::Has(std::string_view section, std::string_view key) const { return Find(section, key) != nullptr; }

std::string Profile::GetString(std::string_view section, std::string_view key, std::string_view fallback) const {
    const Entry* e = Find(section, key);
    return std::string(e != nullptr ? std::string_view(e->value) : fallback);
}

int Profile::GetInt(std::string_view section, std::string_view key, int fallback) const {
    const Entry* e = Find(section, key);
    return e != nullptr ? ParseInt(e->value) : fallback;
}

void Profile::SetString(std::string_view section, std::string_view key, std::string_view value) {
    // A line break in a value would start a new line of the file.
    std::string clean(value);
    std::replace_if(clean.begin(), clean.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
    auto s = std::find_if(sections_.begin(), sections_.end(), [&](const Section& x) { return SameName(x.name, section); });
    if (s == sections_.end()) {
        sections_.push_back({std::string(section), {}});
        s = sections_.end() - 1;
    }
    auto e = std::find_if(s->entries.begin(), s->entries.end(), [&](const Entry& x) { return SameName(x.key, key); });
    if (e == s->entries.end())
        s->entries.push_back({std::string(key), std::move(clean)});
    else
        e->value = std::move(clean);
}

void Profile::SetInt(std::string_view section, std::string_view key, int value) {
    SetString(section, key, std::to_string(value));
}

std::string Profile::Text() const {
    std::string out;
    for (const Section& s : sections_) {
        if (!out.empty())
            out += '\n';
        out += '[' + s.name + "]\n";
        for (const Entry& e : s.entries) {
            // Quoted when reading would otherwise drop blanks or quotes at its ends.
            const std::string_view v = e.value;
            const bool quote = !v.empty() && (IsBlank(v.front()) || IsBlank(v.back()) ||
                                              (v.size() >= 2 && v.front() == '"' && v.back() == '"'));
            out += e.key + '=' + (quote ? '"' + e.value + '"' : e.value) + '\n';
        }
    }
    return out;
}

bool Profile::Save(std::string* error) const {
    auto fail = [&](const std::string& what, int code) {
        if (error)
            *error = what + ": " + ErrnoText(code);
        return false;
    };
    const std::filesystem::path target(path_);
    std::error_code ec;
    if (target.has_parent_path()) {
        std::filesystem::create_directories(target.parent_path(), ec);
        if (ec)
            return fail(target.parent_path().string(), ec.value());
    }
    std::string temp = path_ + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return fail(temp, errno);
    ::fchmod(fd, 0600);
    const std::string text = Text();
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int code = n < 0 ? errno : ENOSPC;
            ::close(fd);
            ::unlink(temp.c_str());
            return fail(temp, code);
        }
        done += static_cast<size_t>(n);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        const int code = errno;
        ::unlink(temp.c_str());
        return fail(temp, code);
    }
    if (::rename(temp.c_str(), path_.c_str()) != 0) {
        const int code = errno;
        ::unlink(temp.c_str());
        return fail(path_, code);
    }
    // Make the rename itself durable.
    const std::string folder = target.has_parent_path() ? target.parent_path().string() : ".";
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

}  // namespace zo::platform
