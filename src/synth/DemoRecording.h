// Generates whole recordings: interleaved pictures of several camera
// channels at the recorder's picture rate, key pictures at intervals, and
// optionally sound frames, with block times advancing in real time.
#pragma once

#include <cstdint>
#include <string>

#include "synth/RecordingBuilder.h"

namespace zo::synth {

struct DemoOptions {
    int videoCode = media::kVideoZOC;
    int channels = 4;          // camera channels 0..channels-1, round robin
    double seconds = 10.0;     // recorded time
    uint64_t targetBytes = 0;  // if non-zero, generate until the recording has this many bytes instead
    bool audio = false;        // sound frames of audio channel 0 (and 1..3 for more channels)
    int audioChannels = 1;
    int audioRate = 16000;     // 8-bit samples per second per audio channel
    bool rawDisk = false;
    uint32_t startTime = 1237034096;  // 2009-03-14 12:34:56
    uint8_t interval = 1;
    int height = 224;          // 224 (14 slices) or 272 (17 slices)
    int keyEvery = 15;         // pictures of one channel between key pictures
    bool realVideo = true;     // encoded scenes; false: placeholder slices (fast, not decodable)
    int quantiser = 4;         // 1..14 for encoded scenes
    bool dual = false;         // code 5: each picture carries channels c and c+1 side by side
    size_t keySliceBytes = 900;     // placeholder payload per slice of a key picture
    size_t updateSliceBytes = 90;   // and of an update picture
    uint64_t seed = 1;
};

struct DemoStats {
    uint64_t videoFrames = 0;
    uint64_t soundFrames = 0;
    uint64_t blocks = 0;
    uint64_t bytes = 0;
};

// Writes the recording block by block to `sink`.
DemoStats GenerateRecording(const DemoOptions& options, const RecordingBuilder::BlockSink& sink);

// Writes the recording to a file; false (and `error`) if it cannot be written.
bool WriteRecordingFile(const DemoOptions& options, const std::string& path, DemoStats& stats,
                        std::string& error);

}  // namespace zo::synth
