// Synthetic camera pictures that a person recognises at a glance: colour
// bars, a moving gradient, a pattern of the channel's own, and a large
// rendered channel number, picture counter and clock.
#pragma once

#include <cstdint>

namespace zo::synth {

// Draws picture `frame` of camera `channel` (0..15) at time `unixSeconds`
// into `picture`: planar 4:2:0, 640 x height (224 or 272).
void RenderScene(uint8_t* picture, int height, int channel, uint64_t frame, uint32_t unixSeconds);

// Writes `text` (digits, ':', '-', '/', ' ', 'C', 'H') into the luma plane
// at (x, y), each glyph 5x7 cells of `scale` pixels, in luma `value` on a
// box of luma 16.
void DrawText(uint8_t* luma, int width, int height, int x, int y, int scale, const char* text, uint8_t value);

}  // namespace zo::synth
