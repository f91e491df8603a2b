// Writes bit fields most significant bit first into a byte vector.
#pragma once

#include <cstdint>
#include <vector>

namespace zo::synth {

class BitWriter {
public:
    explicit BitWriter(std::vector<uint8_t>& out) : out_(out) {}

    // Appends the low `count` bits of `value` (count 0..32).
    void Put(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            current_ = static_cast<uint8_t>((current_ << 1) | ((value >> i) & 1));
            if (++filled_ == 8) {
                out_.push_back(current_);
                current_ = 0;
                filled_ = 0;
            }
        }
    }

    // Pads with zero bits to the next byte boundary.
    void Align() {
        if (filled_ > 0)
            Put(0, 8 - filled_);
    }

    bool Aligned() const { return filled_ == 0; }

private:
    std::vector<uint8_t>& out_;
    uint8_t current_ = 0;
    int filled_ = 0;
};

}  // namespace zo::synth
