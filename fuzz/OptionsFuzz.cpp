// Parses arbitrary bytes as a "CompOptions" file. A file that parses must
// write back to the same bytes (pointer fields aside) and give encoder
// settings within Xvid's ranges.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "export/CompressionOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace zo::exporter;
    CompressionOptions options;
    if (!ParseCompressionOptions(std::span<const uint8_t>(data, size), options))
        return 0;
    std::vector<uint8_t> again = SerializeCompressionOptions(options);
    if (again.size() != size)
        std::abort();
    std::vector<uint8_t> expected(data, data + size);
    std::memset(expected.data() + 24, 0, 4);  // format pointer
    std::memset(expected.data() + 32, 0, 4);  // parameters pointer
    if (again != expected)
        std::abort();
    const XvidSettings s = XvidSettingsFrom(options);
    if (s.quantiser < 1 || s.quantiser > 31 || s.maxKeyInterval < 1 || s.bitrate < 0)
        std::abort();
    return 0;
}
