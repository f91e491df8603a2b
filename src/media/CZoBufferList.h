// The bounded sample queues between the network receiver (producer) and the
// live-view worker (consumer): a fixed pool of sample buffers cycling between
// a free list and a filled list, oldest frame first. Nothing is allocated
// once the pool exists; a full queue refuses the frame and nothing waits.
//
// Threads: one producer calls PutSample and one consumer GetSample, each on
// its own thread; Allocate runs once before either. The data event is
// signalled exactly while a frame is waiting, the space event while the pool
// has a free sample; both are set and cleared only under the queue's lock,
// and may be waited on with platform::WaitAny together with other events.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/RecordingFormat.h"
#include "platform/Clock.h"
#include "platform/Event.h"

namespace zo::media {

// One buffered frame; the producer and the consumer hand frames over in a
// record of the same shape pointing at their own buffer.
struct CZoSample {
    uint8_t* data = nullptr;
    uint32_t capacity = 0;  // bytes at data
    uint32_t length = 0;    // bytes of data in use
    CalendarTime time;
    int32_t extra[4] = {0, 0, 0, 0};  // copied unchanged
    uint32_t createdTickMs = 0;       // tick count when the sample was made
};

// The consumer's side of a queue.
class CZoOutputBuffer {
public:
    virtual ~CZoOutputBuffer() = default;
    // Signalled while at least one frame is waiting.
    virtual platform::Event& GetDataEvent() = 0;
    // Takes the oldest frame into `record`; 1 if there was one.
    virtual int GetSample(CZoSample& record) = 0;
};

class CZoBufferList final : public CZoOutputBuffer {
public:
    // Samples are 10 list nodes to a node block.
    static constexpr int kNodesPerBlock = 10;

    // `clock` gives the tick counts; nullptr means the system clock.
    explicit CZoBufferList(std::string name, platform::Clock* clock = nullptr);
    ~CZoBufferList() override;
    CZoBufferList(const CZoBufferList&) = delete;
    CZoBufferList& operator=(const CZoBufferList&) = delete;

    // Makes `count` samples of `bufferBytes` each on the free list and sets
    // the space event. 0 if an allocation fails (the samples made before it
    // stay in the pool and count as its size) or the pool was already made.
    int Allocate(uint32_t bufferBytes, int count);

    // Copies `record.length` bytes from `record.data`, the time and extra
    // into the first free sample and appends it to the filled list. 1 if
    // queued; 0 if no sample is free or the frame is longer than the buffer
    // (the free sample stays free).
    int PutSample(const CZoSample& record);

    // Moves the oldest frame into `record` (bytes, length, time, extra) and
    // frees its sample. 0 if nothing is waiting. A frame longer than
    // `record.capacity` is never copied: it is taken off and dropped, and the
    // result is 0.
    int GetSample(CZoSample& record) override;

    platform::Event& GetDataEvent() override { return dataEvent_; }
    platform::Event& GetSpaceEvent() { return spaceEvent_; }

    const std::string& Name() const { return name_; }
    int PoolSize() const;
    int FilledCount() const;
    int FreeCount() const;
    uint32_t LastPutTickMs() const;

private:
    struct Node {
        CZoSample* sample = nullptr;
        Node* prev = nullptr;
        Node* next = nullptr;
    };
    // A doubly linked list of nodes; moving a sample moves its node, so the
    // lists never allocate.
    struct NodeList {
        Node* head = nullptr;
        Node* tail = nullptr;
        int count = 0;
        void PushBack(Node* n);
        Node* PopFront();
    };

    uint32_t TickMs() const { return static_cast<uint32_t>(clock_->NowMs()); }

    const std::string name_;
    platform::Clock* clock_;

    mutable std::mutex mutex_;  // guards everything below, the event states included
    platform::Event dataEvent_;   // set while filled_ is not empty
    platform::Event spaceEvent_;  // set while filled_ holds fewer samples than the pool
    NodeList filled_;
    NodeList free_;
    int poolSize_ = 0;
    uint32_t lastPutTickMs_ = 0;
    bool allocated_ = false;
    std::vector<std::unique_ptr<Node[]>> nodeBlocks_;
    std::vector<std::unique_ptr<CZoSample>> samples_;
    std::vector<std::unique_ptr<uint8_t[]>> buffers_;
};

}  // namespace zo::media
