// A decoded picture (planar 4:2:0) of one colour, for tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace zo::test {

inline std::vector<uint8_t> FlatPicture(int w, int h, uint8_t y, uint8_t cb, uint8_t cr) {
    std::vector<uint8_t> p(static_cast<size_t>(w) * h * 3 / 2);
    std::fill(p.begin(), p.begin() + w * h, y);
    std::fill(p.begin() + w * h, p.begin() + w * h * 5 / 4, cb);
    std::fill(p.begin() + w * h * 5 / 4, p.end(), cr);
    return p;
}

}  // namespace zo::test
