// Frames of a live DVR stream, made once and cycled by the simulated DVR:
// pictures in the network header layout (code 2: key bit, quantiser, picture
// counter), round robin over the cameras, with sound frames of audio channel
// 0 in between.
//
// Header byte A of a live picture: bit 7 key picture, bits 3-6 quantiser,
// bits 0-2 the camera (0..7). The viewer's code-2 parse ignores bits 0-2 and
// shows every live picture as channel 0; they are set so that a peer that
// does read them, and the tests, can tell the cameras apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/RecordingFormat.h"

namespace zo::synth {

struct LiveFrame {
    media::FrameKind kind = media::FrameKind::Video;
    int channel = 0;     // camera 0..7 for a picture, audio channel 0 for sound
    bool key = false;
    int64_t dueUs = 0;   // when it is due, from the start of the loop
    std::vector<uint8_t> bytes;  // start code included; pictures in the code-2 layout
};

// A loop of frames that the stream repeats. Every camera's first picture is
// a key picture, so the loop can be joined anywhere at its start.
struct LiveLoop {
    std::vector<LiveFrame> frames;
    int64_t durationUs = 0;   // one pass; the next pass starts this much later
    int64_t picturePeriodUs = 0;
};

struct LiveLoopOptions {
    int channels = 1;             // cameras 1..8, round robin
    int picturesPerChannel = 15;  // loop length per camera
    int keyEvery = 15;            // pictures of a camera from one key picture to the next
    int height = 224;             // 224 (14 slices) or 272 (17 slices)
    int quantiser = 6;            // 1..14
    bool realVideo = true;        // encoded scenes; false: placeholder slices (cheap, not decodable)
    size_t placeholderSliceBytes = 200;
    bool audio = true;            // 8-bit signed tones every 125 ms
    int audioRate = 16000;        // samples per second
    uint32_t sceneTime = 1237034096;  // clock drawn into the scenes
    uint64_t seed = 1;
};

// Encodes the loop. Pictures are due one picture period apart (the period of
// the code-2 layout for the height), sound frames when their 125 ms slot
// begins. Options out of range are clamped.
std::shared_ptr<const LiveLoop> MakeLiveLoop(const LiveLoopOptions& options);

// Reads the frames of a recording (at most `maxBytes` of frame bytes) into a
// loop: pictures rewritten into the live layout (camera = recording channel
// modulo 8), sound of audio channel 0 given its 6-byte header again; sound
// of audio channels 1..3 is left out (a live stream carries one audio
// channel). Pictures are due one period apart, sound with the picture before
// it. nullptr and `error` if nothing usable could be read.
std::shared_ptr<const LiveLoop> LoadLiveLoop(const std::string& path, int videoCode, bool rawDisk, size_t maxBytes,
                                             std::string& error);

// Rewrites one recording picture (start code included) of `videoCode` into
// the live layout: start code F9 for a key picture and F8 otherwise, header
// byte A as above, a picture counter of 0, then the slices unchanged. The
// code-5 byte B is dropped. false for a frame of 5 bytes or fewer or without
// a picture start code.
bool ToLivePicture(const uint8_t* frame, size_t length, int videoCode, std::vector<uint8_t>& out);

// Writes the big-endian picture counter into bytes 5 and 6 of a live picture.
inline void SetLivePictureCounter(uint8_t* picture, uint16_t counter) {
    picture[5] = static_cast<uint8_t>(counter >> 8);
    picture[6] = static_cast<uint8_t>(counter);
}

// Lower-case hex MD5 of bytes, as `zrf frames` prints it.
std::string Md5Hex(const uint8_t* data, size_t size);

// The login digest of a password: MD5 of its bytes as 32 upper-case hex
// characters.
std::string LoginDigest(const std::string& password);

}  // namespace zo::synth
