#include "engine/ExactPictures.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace zo::engine {

namespace {

std::unique_ptr<uint8_t[]> TryAllocate(size_t bytes) {
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[bytes]);
}

// Which pictures of a rebuild of `count` pictures after its starting point
// (numbered 1..count, the target last; 0 is the starting point itself) are
// kept in `free` slots: all of them if they fit; else the last half of the
// slots for the pictures reverse play shows next, and the rest spread evenly
// over the run as starting points of the next rebuilds. Ascending.
int PlanKept(uint64_t count, int free, uint64_t* kept) {
    if (count == 0) {
        kept[0] = 0;
        return 1;
    }
    if (count <= static_cast<uint64_t>(free)) {
        for (uint64_t i = 0; i < count; ++i)
            kept[i] = i + 1;
        return static_cast<int>(count);
    }
    const int dense = (free + 1) / 2;
    const int spread = free - dense;
    const uint64_t below = count - static_cast<uint64_t>(dense);  // pictures 1..below
    int n = 0;
    for (int j = 1; j <= spread; ++j) {
        const uint64_t at = below * static_cast<uint64_t>(j) / static_cast<uint64_t>(spread + 1);
        if (at >= 1 && (n == 0 || at > kept[n - 1]))
            kept[n++] = at;
    }
    for (int j = dense - 1; j >= 0; --j)
        kept[n++] = count - static_cast<uint64_t>(j);
    return n;
}

}  // namespace

bool ExactPictures::Allocate() {
    if (Ready())
        return true;
    slots_ = TryAllocate(static_cast<size_t>(kChannels) * kSlotsPerChannel * kPictureBytes);
    work_ = TryAllocate(kPictureBytes);
    frame_ = TryAllocate(media::kMaxFrameSize);
    if (!slots_ || !work_ || !frame_) {
        Free();
        return false;
    }
    for (Channel& ch : channels_)
        ch = Channel{};
    decoded_ = 0;
    return true;
}

void ExactPictures::Forget() {
    for (Channel& ch : channels_)
        ch = Channel{};
}

void ExactPictures::Free() {
    slots_.reset();
    work_.reset();
    frame_.reset();
    for (Channel& ch : channels_)
        ch = Channel{};
}

uint64_t ExactPictures::StreamIndex(uint64_t position) {
    const uint64_t block = position / media::kBlockSize;
    const uint64_t offset = std::max<uint64_t>(position % media::kBlockSize, media::kBlockHeaderSize);
    return block * media::kBlockDataSize + (offset - media::kBlockHeaderSize);
}

uint64_t ExactPictures::FilePosition(uint64_t streamIndex) {
    return streamIndex / media::kBlockDataSize * media::kBlockSize + media::kBlockHeaderSize +
           streamIndex % media::kBlockDataSize;
}

uint64_t ExactPictures::StartFromBackwardRest(uint64_t rest) {
    const uint64_t index = StreamIndex(rest);
    return FilePosition(index >= 4 ? index - 4 : 0);
}

uint64_t ExactPictures::StartFromForwardRest(uint64_t rest, size_t length) {
    const uint64_t index = StreamIndex(rest);
    return FilePosition(index >= length ? index - length : 0);
}

ExactPictures::Entry* ExactPictures::Find(int channel, uint64_t start) {
    for (Entry& e : channels_[channel].entries)
        if (e.used && e.picture.start == start)
            return &e;
    return nullptr;
}

void ExactPictures::Drop(Channel& ch, uint64_t above) {
    for (Entry& e : ch.entries)
        if (e.used && e.picture.start > above)
            e.used = false;
}

int ExactPictures::FreeSlots(const Channel& ch) const {
    int free = 0;
    for (const Entry& e : ch.entries)
        free += e.used ? 0 : 1;
    return free;
}

void ExactPictures::MakeRoom(Channel& ch, int wanted, const Entry* keep) {
    while (FreeSlots(ch) < wanted) {
        Entry* lowest = nullptr;
        for (Entry& e : ch.entries)
            if (e.used && &e != keep && (lowest == nullptr || e.picture.start < lowest->picture.start))
                lowest = &e;
        if (lowest == nullptr)
            return;
        lowest->used = false;
    }
}

ExactPictures::Entry* ExactPictures::Store(int channel, uint64_t start, const uint8_t* picture,
                                           const media::CZoFile& reader, const codec::CZoVdec& vdec) {
    Channel& ch = channels_[channel];
    for (int s = 0; s < kSlotsPerChannel; ++s) {
        Entry& e = ch.entries[s];
        if (e.used)
            continue;
        const int width = static_cast<int>(vdec.GetWidth());
        const int height = static_cast<int>(vdec.GetHeight());
        uint8_t* data = SlotData(channel, s);
        std::memcpy(data, picture, std::min(kPictureBytes, codec::DecodedPictureBytes(width, height)));
        e.used = true;
        e.picture.start = start;
        e.picture.data = data;
        e.picture.widthPx = width;
        e.picture.heightPx = height;
        e.picture.videoCode = vdec.VideoCode();
        e.picture.dual = vdec.IsDual();
        e.picture.hideLeft = vdec.HideLeft();
        e.picture.hideRight = vdec.HideRight();
        e.picture.dualChannel = vdec.DualChannel();
        e.picture.time = reader.Time();
        return &e;
    }
    return nullptr;
}

void ExactPictures::KeepForward(int channel, uint64_t start, const uint8_t* picture, const media::CZoFile& reader,
                                const codec::CZoVdec& vdec) {
    if (!Ready() || channel < 0 || channel >= kChannels)
        return;
    Channel& ch = channels_[channel];
    if (vdec.IsKey()) {
        if (ch.keyStart != start) {
            for (Entry& e : ch.entries)
                e.used = false;
            ch.keyStart = start;
        }
        ch.sinceKept = 0;
    } else if (++ch.sinceKept < kKeepEvery) {
        return;
    }
    ch.sinceKept = 0;
    if (Find(channel, start) != nullptr)
        return;
    MakeRoom(ch, 1, nullptr);
    Store(channel, start, picture, reader, vdec);
}

void ExactPictures::NoteKeyless(Channel& ch, uint64_t low, uint64_t high) {
    // Kept as one stretch: joined to the known one when they meet.
    if (ch.keylessLow != UINT64_MAX && low <= ch.keylessHigh && high >= ch.keylessLow) {
        ch.keylessLow = std::min(ch.keylessLow, low);
        ch.keylessHigh = std::max(ch.keylessHigh, high);
    } else {
        ch.keylessLow = low;
        ch.keylessHigh = high;
    }
}

const ExactPictures::Picture* ExactPictures::Get(media::CZoFile& reader, codec::CZoVdec& vdec, int channel,
                                                 uint64_t start, bool key, const platform::Event& stop) {
    if (!Ready() || channel < 0 || channel >= kChannels)
        return nullptr;
    if (Entry* hit = Find(channel, start))
        return &hit->picture;
    Channel& ch = channels_[channel];
    if (ch.keylessLow != UINT64_MAX && !key && start >= ch.keylessLow && start <= ch.keylessHigh)
        return nullptr;
    const std::span<uint8_t> frame(frame_.get(), media::kMaxFrameSize);

    // Backward from the target to the nearest kept picture or key picture
    // of the channel, counting the channel's pictures on the way.
    uint64_t from = start;  // where the forward decode begins
    const Entry* fromEntry = nullptr;
    uint64_t count = 0;  // the target is the count-th picture of the channel after `from`
    // Reads between looks at the stop event.
    constexpr int kReadsPerStopCheck = 64;
    int reads = 0;
    uint64_t lowest = start;  // where the backward search has come to
    if (!key) {
        for (;;) {
            if (++reads % kReadsPerStopCheck == 0 && stop.IsSet())
                return nullptr;
            const int length = reader.ReadPrevFrame(frame);
            if (length <= 0) {
                if (reader.GetPosition() == 0)
                    NoteKeyless(ch, 0, start);  // the beginning: none before it either
                return nullptr;  // or a read failure
            }
            const uint64_t rest = reader.GetPosition();
            const uint64_t at = StartFromBackwardRest(rest);
            if (at >= lowest)
                return nullptr;  // no progress: never loop on a damaged stretch
            lowest = at;
            const bool keyless = ch.keylessLow != UINT64_MAX && at >= ch.keylessLow && at <= ch.keylessHigh;
            if (start - at > kKeySearchBytes || keyless) {
                NoteKeyless(ch, at, start);
                return nullptr;
            }
            if (reader.IsAudio() || !vdec.ParseHeader(frame.data(), static_cast<size_t>(length)) ||
                vdec.GetChannel() != channel)
                continue;
            ++count;
            if (const Entry* kept = Find(channel, at)) {
                from = at;
                fromEntry = kept;
                break;
            }
            if (vdec.IsKey()) {
                from = at;
                break;
            }
        }
    }

    // What is kept of the channel belongs to one key-picture run and lies
    // below the target.
    if (fromEntry == nullptr && ch.keyStart != from) {
        for (Entry& e : ch.entries)
            e.used = false;
        ch.keyStart = from;
    }
    Drop(ch, start);
    MakeRoom(ch, 2, fromEntry);
    uint64_t kept[kSlotsPerChannel];
    const int keptCount = PlanKept(count, FreeSlots(ch), kept);
    int nextKept = 0;

    // Forward from there, decoding the channel's pictures as forward play
    // does into the working picture.
    reader.SetPosition(from);
    uint64_t index = 0;
    bool started = false;
    Entry* target = nullptr;
    for (;;) {
        if (++reads % kReadsPerStopCheck == 0 && stop.IsSet())
            return nullptr;
        const uint64_t before = reader.GetPosition();
        const int length = reader.ReadNextFrame(frame);
        const uint64_t after = reader.GetPosition();
        if (after <= before)
            return nullptr;  // no progress
        if (length <= 0) {
            // A damaged block is stepped over as forward play steps over it;
            // anything else ends the rebuild.
            if (after > start)
                return nullptr;
            continue;
        }
        if (reader.IsAudio())
            continue;
        const bool isTarget = before <= start && start < after;
        if (!started) {
            // The first frame is the starting point itself.
            if (before != from || !vdec.ParseHeader(frame.data(), static_cast<size_t>(length)) ||
                vdec.GetChannel() != channel)
                return nullptr;
            if (fromEntry != nullptr) {
                std::memcpy(work_.get(), fromEntry->picture.data,
                            codec::DecodedPictureBytes(fromEntry->picture.widthPx, fromEntry->picture.heightPx));
            } else {
                if (!vdec.IsKey() || !vdec.DecodePicture(frame.data(), static_cast<size_t>(length), work_.get()))
                    return nullptr;
                ++decoded_;
            }
            started = true;
            if (count == 0)
                return (target = Store(channel, start, work_.get(), reader, vdec)) ? &target->picture : nullptr;
            continue;
        }
        if (before > start)
            return nullptr;
        if (!vdec.ParseHeader(frame.data(), static_cast<size_t>(length)) || vdec.GetChannel() != channel) {
            if (isTarget)
                return nullptr;
            continue;
        }
        ++index;
        const bool decodedOk = vdec.DecodePicture(frame.data(), static_cast<size_t>(length), work_.get()) != 0;
        ++decoded_;
        if (isTarget || index >= count) {
            if (!decodedOk || !isTarget)
                return nullptr;
            target = Store(channel, start, work_.get(), reader, vdec);
            return target ? &target->picture : nullptr;
        }
        while (nextKept < keptCount && kept[nextKept] < index)
            ++nextKept;
        if (decodedOk && nextKept < keptCount && kept[nextKept] == index)
            Store(channel, before, work_.get(), reader, vdec);
    }
}

}  // namespace zo::engine
