#include "media/CZoBufferList.h"

#include <cstring>
#include <new>

namespace zo::media {

void CZoBufferList::NodeList::PushBack(Node* n) {
    n->next = nullptr;
    n->prev = tail;
    if (tail)
        tail->next = n;
    else
        head = n;
    tail = n;
    ++count;
}

CZoBufferList::Node* CZoBufferList::NodeList::PopFront() {
    Node* n = head;
    if (!n)
        return nullptr;
    head = n->next;
    if (head)
        head->prev = nullptr;
    else
        tail = nullptr;
    n->next = nullptr;
    --count;
    return n;
}

CZoBufferList::CZoBufferList(std::string name, platform::Clock* clock)
    : name_(std::move(name)), clock_(clock ? clock : &platform::DefaultClock()) {}

CZoBufferList::~CZoBufferList() = default;

int CZoBufferList::Allocate(uint32_t bufferBytes, int count) {
    std::lock_guard lock(mutex_);
    if (allocated_ || count < 0)
        return 0;
    allocated_ = true;
    const size_t blocks = (static_cast<size_t>(count) + kNodesPerBlock - 1) / kNodesPerBlock;
    nodeBlocks_.reserve(blocks);
    samples_.reserve(static_cast<size_t>(count));
    buffers_.reserve(static_cast<size_t>(count));
    int made = 0;
    bool failed = false;
    for (; made < count; ++made) {
        if (made % kNodesPerBlock == 0) {
            Node* block = new (std::nothrow) Node[kNodesPerBlock];
            if (!block) {
                failed = true;
                break;
            }
            nodeBlocks_.emplace_back(block);
        }
        auto* sample = new (std::nothrow) CZoSample;
        uint8_t* buffer = sample ? new (std::nothrow) uint8_t[bufferBytes == 0 ? 1 : bufferBytes] : nullptr;
        if (!buffer) {
            delete sample;
            failed = true;
            break;
        }
        samples_.emplace_back(sample);
        buffers_.emplace_back(buffer);
        sample->data = buffer;
        sample->capacity = bufferBytes;
        sample->length = 0;
        sample->createdTickMs = TickMs();
        Node* node = &nodeBlocks_.back()[made % kNodesPerBlock];
        node->sample = sample;
        free_.PushBack(node);
    }
    poolSize_ = made;
    if (made > 0)
        spaceEvent_.Set();
    return failed ? 0 : 1;
}

int CZoBufferList::PutSample(const CZoSample& record) {
    std::lock_guard lock(mutex_);
    Node* node = free_.head;
    if (!node || node->sample->capacity < record.length)
        return 0;
    free_.PopFront();
    CZoSample* s = node->sample;
    if (record.length)
        std::memcpy(s->data, record.data, record.length);
    s->time = record.time;
    std::memcpy(s->extra, record.extra, sizeof s->extra);
    s->length = record.length;
    filled_.PushBack(node);
    dataEvent_.Set();
    if (filled_.count >= poolSize_)
        spaceEvent_.Reset();
    lastPutTickMs_ = TickMs();
    return 1;
}

int CZoBufferList::GetSample(CZoSample& record) {
    std::lock_guard lock(mutex_);
    Node* node = filled_.PopFront();
    if (!node)
        return 0;
    if (filled_.count == 0)
        dataEvent_.Reset();
    CZoSample* s = node->sample;
    const bool fits = s->length <= record.capacity;
    if (fits) {
        if (s->length)
            std::memcpy(record.data, s->data, s->length);
        record.time = s->time;
        std::memcpy(record.extra, s->extra, sizeof record.extra);
        record.length = s->length;
    }
    s->length = 0;
    free_.PushBack(node);
    spaceEvent_.Set();
    return fits ? 1 : 0;
}

int CZoBufferList::PoolSize() const {
    std::lock_guard lock(mutex_);
    return poolSize_;
}

int CZoBufferList::FilledCount() const {
    std::lock_guard lock(mutex_);
    return filled_.count;
}

int CZoBufferList::FreeCount() const {
    std::lock_guard lock(mutex_);
    return free_.count;
}

uint32_t CZoBufferList::LastPutTickMs() const {
    std::lock_guard lock(mutex_);
    return lastPutTickMs_;
}

}  // namespace zo::media
