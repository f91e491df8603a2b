// Parses arbitrary DDNS replies: every prefix as it arrives, then the
// whole; a decision once made never changes with more bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "net/WireFormat.h"

using zo::net::DdnsReplyKind;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> all(data, size);
    const auto final = zo::net::ParseDdnsReply(all);
    for (size_t n = 0; n <= size && n <= 16; ++n) {
        const auto r = zo::net::ParseDdnsReply(all.first(n));
        if (r.kind == DdnsReplyKind::Incomplete)
            continue;
        if (r.kind != final.kind || r.address != final.address || r.port != final.port)
            std::abort();
    }
    if (final.kind == DdnsReplyKind::Resolved)
        (void)zo::net::DottedAddress(final.address);
    if (size < zo::net::kDdnsReplySize && final.kind == DdnsReplyKind::Resolved)
        std::abort();
    return 0;
}
