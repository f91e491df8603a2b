// Rebuilds pictures of arbitrary bytes opened as a recording, as the player
// worker's Exact Steps do: the frame before a position, read backward, or
// the next one, read forward, rebuilt from its channel's key picture, with
// forward reads handing their pictures over as forward play does.
//
// Input: [flags][op count][ops...][recording bytes]. Flag bits: 0 raw disk,
// 1-3 video code, 4 mend the check bytes of every block so the fuzzer
// reaches the frame logic instead of stopping at damaged blocks.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "codec/CZoVdec.h"
#include "engine/ExactPictures.h"
#include "media/ByteSource.h"
#include "media/CZoFile.h"
#include "media/RecordingFormat.h"
#include "platform/Event.h"
#include "platform/MessagePort.h"

using zo::engine::ExactPictures;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const uint8_t flags = data[0];
    const size_t opCount = data[1] % 32;
    if (size < 2 + opCount)
        return 0;
    const uint8_t* ops = data + 2;
    std::vector<uint8_t> bytes(data + 2 + opCount, data + size);
    const bool raw = flags & 1;
    const int code = ((flags >> 1) & 7) % zo::media::kVideoCodeCount;
    if (flags & 0x10) {
        for (size_t b = 0; b + zo::media::kBlockSize <= bytes.size(); b += zo::media::kBlockSize) {
            uint8_t* block = bytes.data() + b;
            if (raw)
                zo::media::SwapBytePairs(block, zo::media::kBlockSize);
            block[7] = zo::media::CheckByte(block);
            if (raw)
                zo::media::SwapBytePairs(block, zo::media::kBlockSize);
        }
    }
    static zo::platform::NullMessagePort quiet;
    static ExactPictures exact;  // allocated once: 25 MiB per input would dominate
    static std::vector<uint8_t> frame(zo::media::kMaxFrameSize);
    static std::vector<uint8_t> picture(zo::codec::kMaxDecodedPictureBytes);
    static zo::platform::Event stop;
    if (!exact.Allocate())
        return 0;
    exact.Forget();  // every input starts with nothing kept
    zo::media::CZoFile reader(&quiet);
    reader.SetFormat(code);
    if (!reader.OpenSource(std::make_unique<zo::media::MemorySource>(std::move(bytes)), "fuzz", raw))
        return 0;
    zo::codec::CZoVdec vdec;
    vdec.Init(code);
    const uint64_t length = reader.GetSize();
    for (size_t i = 0; i < opCount; ++i) {
        const uint8_t op = ops[i];
        const ExactPictures::Picture* rebuilt = nullptr;
        switch (op & 3) {
        case 0:
            reader.SetPosition(length ? (length * (op >> 2)) / 63 : 0);
            break;
        case 1: {
            const int n = reader.ReadPrevFrame(frame);
            if (n <= 0 || reader.IsAudio() || !vdec.ParseHeader(frame.data(), static_cast<size_t>(n)))
                break;
            const uint64_t rest = reader.GetPosition();
            rebuilt = exact.Get(reader, vdec, vdec.GetChannel(), ExactPictures::StartFromBackwardRest(rest),
                                vdec.IsKey(), stop);
            reader.SetPosition(rest);
            break;
        }
        case 2: {
            const int n = reader.ReadNextFrame(frame);
            const uint64_t rest = reader.GetPosition();
            if (n <= 0 || reader.IsAudio() || rest >= length || !vdec.ParseHeader(frame.data(), static_cast<size_t>(n)))
                break;
            const uint64_t start = ExactPictures::StartFromForwardRest(rest, static_cast<size_t>(n));
            if (op & 4) {
                rebuilt = exact.Get(reader, vdec, vdec.GetChannel(), start, vdec.IsKey(), stop);
                reader.SetPosition(rest);
            } else if (vdec.DecodePicture(frame.data(), static_cast<size_t>(n), picture.data())) {
                exact.KeepForward(vdec.GetChannel(), start, picture.data(), reader, vdec);
            }
            break;
        }
        case 3:
            for (int k = 0; k <= (op >> 2); ++k)
                reader.ReadNextFrame(frame);
            break;
        }
        if (rebuilt != nullptr) {
            // A rebuilt picture has a size the decoder makes, and every byte of it can be read.
            if (rebuilt->widthPx <= 0 || rebuilt->heightPx <= 0 ||
                zo::codec::DecodedPictureBytes(rebuilt->widthPx, rebuilt->heightPx) > ExactPictures::kPictureBytes)
                __builtin_trap();
            volatile uint8_t sink = rebuilt->data[zo::codec::DecodedPictureBytes(rebuilt->widthPx, rebuilt->heightPx) - 1];
            (void)sink;
        }
    }
    return 0;
}
