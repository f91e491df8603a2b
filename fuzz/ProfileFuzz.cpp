// Arbitrary bytes as a settings file: parsed, read back, rewritten, parsed again.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/Profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zo::platform::Profile profile;
    profile.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    const char* section = "Zo7R Viewer";
    (void)profile.GetInt(section, "Video Width", 640);
    (void)profile.GetString(section, "Capture Path", "");
    profile.SetString(section, "Time Format", std::string_view(reinterpret_cast<const char*>(data), size < 64 ? size : 64));
    const std::string text = profile.Text();
    zo::platform::Profile again;
    again.Parse(text);
    // What was written reads back as the same text.
    if (again.Text() != text && text.size() <= zo::platform::Profile::kMaxFileBytes)
        __builtin_trap();
    return 0;
}
