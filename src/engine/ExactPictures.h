// ExactPictures: the true content of any picture of a recording, also of an
// update picture reached backwards. An update picture repaints only what
// changed since its channel's previous picture, so its content is rebuilt by
// decoding the channel forward from its last key picture, or from a picture
// kept on an earlier rebuild, exactly as forward play decodes it.
//
// Each channel keeps a few decoded pictures of its current key-picture run:
// the last ones before the target, which reverse play needs next, and some
// spread over the run as starting points for later rebuilds, so that going
// backwards through a run decodes each picture about twice instead of once
// per picture from the key. Memory is fixed: kChannels x kSlotsPerChannel
// pictures plus one working picture and one frame, allocated once per
// worker run; nothing is allocated per picture.
//
// Threads: belongs to the player worker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "codec/CZoVdec.h"
#include "media/CZoFile.h"
#include "media/RecordingFormat.h"
#include "platform/Event.h"

namespace zo::engine {

class ExactPictures {
public:
    static constexpr int kChannels = 16;
    static constexpr int kSlotsPerChannel = 6;
    static constexpr size_t kPictureBytes = codec::kMaxDecodedPictureBytes;
    // How far before a picture its channel's key picture is looked for; a
    // picture whose key lies further back is not rebuilt.
    static constexpr uint64_t kKeySearchBytes = 64ull << 20;

    // One decoded picture with what showing it needs.
    struct Picture {
        uint64_t start = 0;  // file offset of the frame's start code
        const uint8_t* data = nullptr;
        int widthPx = 0;
        int heightPx = 0;
        int videoCode = 0;
        bool dual = false;
        bool hideLeft = false;
        bool hideRight = false;
        int dualChannel = 0;
        media::CalendarTime time;  // the reader's block time when forward play reads the frame
    };

    ExactPictures() = default;
    ExactPictures(const ExactPictures&) = delete;
    ExactPictures& operator=(const ExactPictures&) = delete;

    // Allocates the store once; true when it is there. Free gives it back.
    bool Allocate();
    void Free();
    bool Ready() const { return slots_ != nullptr; }
    // Forgets every kept picture; the memory stays.
    void Forget();

    // The picture of `channel` whose frame starts at `start`, the frame the
    // reader delivered last: read backward (the reader rests just after its
    // start code) or forward (the reader rests on the next frame's start
    // code). `key` says whether it is a key picture. nullptr when it cannot
    // be rebuilt: no key picture of the channel within kKeySearchBytes
    // before it, a read failure on the way, or a picture that does not
    // decode. The reader is left anywhere: the caller puts it back. The
    // decoder's header state is overwritten. A set `stop` ends a long
    // search early, with nullptr.
    const Picture* Get(media::CZoFile& reader, codec::CZoVdec& vdec, int channel, uint64_t start, bool key,
                       const platform::Event& stop);

    // Forward play hands over each picture it decoded, of `channel`, from a
    // frame starting at `start`: a key picture begins the channel's run and
    // is kept, and every kKeepEvery-th picture after it is kept (the oldest
    // kept picture of the run making room), so that a step back after
    // forward play decodes a few pictures rather than the run.
    static constexpr int kKeepEvery = 4;
    void KeepForward(int channel, uint64_t start, const uint8_t* picture, const media::CZoFile& reader,
                     const codec::CZoVdec& vdec);

    // Pictures decoded by rebuilds since Allocate (for measurements).
    uint64_t DecodedCount() const { return decoded_; }

    // Positions counted in stream bytes (block headers left out), so that a
    // frame's start can be found from where a read left the reader.
    static uint64_t StreamIndex(uint64_t position);
    static uint64_t FilePosition(uint64_t streamIndex);
    // The start of the frame a backward read delivered, from where it rests.
    static uint64_t StartFromBackwardRest(uint64_t rest);
    // The start of a video frame of `length` bytes (start code included) a
    // forward read delivered, from where it rests.
    static uint64_t StartFromForwardRest(uint64_t rest, size_t length);

private:
    struct Entry {
        Picture picture;
        bool used = false;
    };
    struct Channel {
        uint64_t keyStart = UINT64_MAX;  // start of the key picture of the kept run
        Entry entries[kSlotsPerChannel];
        // A stretch known to hold no key picture of this channel, from a
        // search that found none; later searches into it end at once.
        uint64_t keylessLow = UINT64_MAX;
        uint64_t keylessHigh = 0;
        int sinceKept = 0;  // forward play's pictures since the last one kept
    };

    Entry* Find(int channel, uint64_t start);
    void Drop(Channel& ch, uint64_t above);
    int FreeSlots(const Channel& ch) const;
    // Frees slots (the kept pictures with the lowest starts, never `keep`)
    // until at least `wanted` are free.
    void MakeRoom(Channel& ch, int wanted, const Entry* keep);
    Entry* Store(int channel, uint64_t start, const uint8_t* picture, const media::CZoFile& reader,
                 const codec::CZoVdec& vdec);
    uint8_t* SlotData(int channel, int slot) const {
        return slots_.get() + (static_cast<size_t>(channel) * kSlotsPerChannel + static_cast<size_t>(slot)) *
                                  kPictureBytes;
    }
    void NoteKeyless(Channel& ch, uint64_t low, uint64_t high);

    std::unique_ptr<uint8_t[]> slots_;    // kChannels x kSlotsPerChannel pictures
    std::unique_ptr<uint8_t[]> work_;     // the channel's picture while rebuilding
    std::unique_ptr<uint8_t[]> frame_;    // one frame, kMaxFrameSize bytes
    Channel channels_[kChannels];
    uint64_t decoded_ = 0;
};

}  // namespace zo::engine
