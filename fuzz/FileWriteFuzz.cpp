// Feeds arbitrary frames and start, stop and init commands to the recording
// writer on a memory file that fills up at 1 MiB, and checks what it wrote:
// whole blocks only, and every block header valid under the file's code.
//
// Input: a sequence of commands. Each begins with one byte: its low three
// bits choose init, start, stop, video, video with a picture start code,
// sound; video and sound take a 16-bit length and that many bytes.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "media/CZoFileWrite.h"
#include "media/RecordingFormat.h"

namespace {

using namespace zo::media;

class FuzzSink final : public RecordingSink {
public:
    explicit FuzzSink(std::vector<uint8_t>* bytes) : bytes_(bytes) {}
    int Create(const std::string&) override {
        bytes_->clear();
        return 0;
    }
    int Write(const uint8_t* data, size_t size) override {
        const size_t room = kCapacity - bytes_->size();
        const size_t n = size < room ? size : room;
        bytes_->insert(bytes_->end(), data, data + n);
        return n == size ? 0 : ENOSPC;
    }
    int Truncate(uint64_t size) override {
        bytes_->resize(size);
        return 0;
    }
    int Sync() override { return 0; }
    int Close() override { return 0; }

private:
    static constexpr size_t kCapacity = 1 << 20;
    std::vector<uint8_t>* bytes_;
};

class FixedTime final : public LocalTimeSource {
public:
    int64_t LocalSecondsNow() override { return seconds++ / 16; }
    int64_t seconds = 1237034096ll * 16;
};

void Check(const std::vector<uint8_t>& file, int fileCode) {
    if (file.size() % kBlockSize != 0)
        std::abort();
    if (fileCode == kVideoZO4)
        return;
    for (size_t at = 0; at < file.size(); at += kBlockSize)
        if (!DecodeBlockHeader(file.data() + at, fileCode).valid)
            std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> file;
    FixedTime clock;
    CZoFileWrite writer(std::make_unique<FuzzSink>(&file), &clock);
    int fileCode = kVideoZOC;
    int recordedCode = kVideoZOC;  // the code of the file in `file`
    std::vector<uint8_t> frame;
    size_t at = 0;
    while (at < size) {
        const uint8_t op = data[at++];
        switch (op & 7) {
        case 0:
            if (at + 3 <= size) {
                const int code = data[at + 1] % 8;
                if (writer.Init(data[at] % 8, code, data[at + 2] % 18) && code < kVideoCodeCount)
                    fileCode = code;
                at += 3;
            }
            break;
        case 1:
            if (writer.StartRecording("/fuzz/rec.ZRF"))
                recordedCode = fileCode;
            break;
        case 2:
            writer.StopRecording();
            Check(file, recordedCode);
            break;
        default: {
            if (at + 2 > size)
                return 0;
            size_t length = static_cast<size_t>(data[at]) << 8 | data[at + 1];
            at += 2;
            if (length > size - at)
                length = size - at;
            // Copied so that reads beyond the frame are caught.
            frame.assign(data + at, data + at + length);
            at += length;
            if ((op & 7) == 4 && frame.size() >= 4) {
                frame[0] = 0x00;
                frame[1] = 0x00;
                frame[2] = 0x01;
                frame[3] = 0xF8 | (op >> 7);
            }
            if ((op & 7) == 5)
                writer.WriteSoundFrame(frame.data(), frame.size());
            else
                writer.WriteVideoFrame(frame.data(), frame.size());
            if (file.size() % kBlockSize != 0)
                std::abort();
            break;
        }
        }
    }
    writer.StopRecording();
    Check(file, recordedCode);
    return 0;
}
