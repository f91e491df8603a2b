// Collects arbitrary login reply bytes as the receiver does, in chunks the
// input chooses, and checks that the decision never depends on the
// chunking and that no reply is taken as longer than the bytes received.
//
// Input: [chunk size][reply bytes].
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "net/WireFormat.h"

using zo::net::LoginReply;
using zo::net::LoginReplyKind;

namespace {

// The decision over `bytes` received `step` bytes at a time.
LoginReply Collect(const uint8_t* bytes, size_t size, size_t step, size_t& consumedTotal) {
    std::vector<uint8_t> have;
    consumedTotal = 0;
    LoginReply r;
    for (size_t at = 0; at < size; at += step) {
        const size_t n = std::min(step, size - at);
        have.insert(have.end(), bytes + at, bytes + at + n);
        r = zo::net::ConsumeLoginReplies(have);
        if (r.consumed > have.size())
            std::abort();
        if (r.kind != LoginReplyKind::Incomplete) {
            consumedTotal += r.consumed;
            return r;
        }
        consumedTotal += r.consumed;
        have.erase(have.begin(), have.begin() + static_cast<std::ptrdiff_t>(r.consumed));
    }
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const size_t step = 1 + data[0] % 64;
    const uint8_t* bytes = data + 1;
    const size_t n = size - 1;

    const LoginReply single = zo::net::ParseLoginReply(std::span<const uint8_t>(bytes, n));
    if (single.consumed > n)
        std::abort();
    if (single.kind == LoginReplyKind::Refused)
        (void)zo::net::RefusalText(single.reason);

    size_t wholeConsumed = 0;
    size_t chunkConsumed = 0;
    const LoginReply whole = Collect(bytes, n, n == 0 ? 1 : n, wholeConsumed);
    const LoginReply chunked = Collect(bytes, n, step, chunkConsumed);
    // An error can be told from fewer bytes than the reply it ends, so
    // the byte counts agree only for whole replies.
    if (whole.kind != chunked.kind || whole.reason != chunked.reason)
        std::abort();
    if (whole.kind != LoginReplyKind::Error && whole.kind != LoginReplyKind::Incomplete &&
        wholeConsumed != chunkConsumed)
        std::abort();
    return 0;
}
