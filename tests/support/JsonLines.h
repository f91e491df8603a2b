// Reading the one-line JSON objects that zrf prints, for end-to-end tests.
#pragma once

#include <string>
#include <vector>

namespace zo::test {

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return lines;
}

// The value of "key" in a one-line JSON object (numbers, strings with their
// quotes, null), or "<missing>".
inline std::string Field(const std::string& line, const std::string& key) {
    const std::string tag = "\"" + key + "\": ";
    const size_t at = line.find(tag);
    if (at == std::string::npos)
        return "<missing>";
    const size_t start = at + tag.size();
    const size_t end = line[start] == '"' ? line.find('"', start + 1) + 1 : line.find_first_of(",}", start);
    return line.substr(start, end - start);
}

}  // namespace zo::test
