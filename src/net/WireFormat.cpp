#include "net/WireFormat.h"

#include <openssl/md5.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>

namespace zo::net {

namespace {

int HexDigit(uint8_t c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

constexpr char kUpperHex[] = "0123456789ABCDEF";

// Windows-1252 byte of a code point, if it has one.
std::optional<uint8_t> Cp1252Byte(uint32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<uint8_t>(cp);
    // Bytes 80..9F (81, 8D, 8F, 90 and 9D have no character).
    static constexpr uint16_t kHigh[32] = {
        0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    for (int i = 0; i < 32; ++i)
        if (kHigh[i] != 0 && kHigh[i] == cp)
            return static_cast<uint8_t>(0x80 + i);
    return std::nullopt;
}

// Next code point of well-formed UTF-8 at `s[i]`, advancing `i`; nullopt for
// a malformed sequence.
std::optional<uint32_t> NextCodePoint(std::string_view s, size_t& i) {
    const auto b0 = static_cast<uint8_t>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int extra = 0;
    uint32_t cp = 0;
    uint32_t min = 0;
    if ((b0 & 0xE0) == 0xC0) {
        extra = 1, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3, cp = b0 & 0x07, min = 0x10000;
    } else {
        return std::nullopt;
    }
    if (i + static_cast<size_t>(extra) >= s.size())
        return std::nullopt;
    for (int k = 1; k <= extra; ++k) {
        const auto b = static_cast<uint8_t>(s[i + k]);
        if ((b & 0xC0) != 0x80)
            return std::nullopt;
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return std::nullopt;
    i += static_cast<size_t>(extra) + 1;
    return cp;
}

bool StartsLikeControl(std::span<const uint8_t> bytes) {
    const size_t n = std::min<size_t>(bytes.size(), 4);
    return std::memcmp(bytes.data(), kControlStartCode, n) == 0;
}

}  // namespace

int ReadHexField(const uint8_t* four) {
    int value = 0;
    for (int i = 0; i < 4; ++i) {
        const int d = HexDigit(four[i]);
        if (d < 0)
            return 0;
        value = value * 16 + d;
    }
    return value;
}

int ReadHexFieldAt(std::span<const uint8_t> bytes, size_t offset) {
    if (offset > bytes.size() || bytes.size() - offset < 4)
        return 0;
    return ReadHexField(bytes.data() + offset);
}

void WriteHexField(uint8_t* four, int value) {
    const auto v = static_cast<unsigned>(value) & 0xFFFFu;
    for (int i = 0; i < 4; ++i)
        four[i] = static_cast<uint8_t>(kUpperHex[(v >> (12 - 4 * i)) & 15]);
}

std::string PasswordBytes(std::string_view utf8Password) {
    std::string out;
    out.reserve(utf8Password.size());
    size_t i = 0;
    while (i < utf8Password.size()) {
        const auto cp = NextCodePoint(utf8Password, i);
        if (!cp)
            return std::string(utf8Password);
        const auto byte = Cp1252Byte(*cp);
        if (!byte)
            return std::string(utf8Password);
        out.push_back(static_cast<char>(*byte));
    }
    return out;
}

std::string Md5Hex(std::string_view bytes) {
    unsigned char digest[MD5_DIGEST_LENGTH];
    // The one-shot MD5 is deprecated in OpenSSL 3 in favour of EVP; it is the
    // plain RFC 1321 digest and needs no context.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    MD5(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
#pragma GCC diagnostic pop
    std::string hex(2 * MD5_DIGEST_LENGTH, '0');
    for (int i = 0; i < MD5_DIGEST_LENGTH; ++i) {
        hex[2 * i] = kUpperHex[digest[i] >> 4];
        hex[2 * i + 1] = kUpperHex[digest[i] & 15];
    }
    return hex;
}

void WriteControlHeader(uint8_t* out12, int totalLength, int code) {
    std::memcpy(out12, kControlStartCode, 4);
    WriteHexField(out12 + 4, totalLength);
    WriteHexField(out12 + 8, code);
}

std::array<uint8_t, kLoginRequestSize> BuildLoginRequest(std::string_view password) {
    std::array<uint8_t, kLoginRequestSize> out{};
    WriteControlHeader(out.data(), static_cast<int>(kLoginRequestSize), kCodeLoginRequest);
    const std::string hex = Md5Hex(PasswordBytes(password));
    std::memcpy(out.data() + kControlHeaderSize, hex.data(), 32);
    return out;
}

std::array<uint8_t, kKeyCommandSize> BuildKeyCommand(int keyCode) {
    std::array<uint8_t, kKeyCommandSize> out{};
    WriteControlHeader(out.data(), static_cast<int>(kKeyCommandSize), kCodeKeyCommand);
    WriteHexField(out.data() + kControlHeaderSize, keyCode & 0xFF);
    return out;
}

std::array<uint8_t, kLogoutSize> BuildLogout() {
    std::array<uint8_t, kLogoutSize> out{};
    WriteControlHeader(out.data(), static_cast<int>(kLogoutSize), kCodeLogout);
    return out;
}

std::array<uint8_t, kDdnsRequestSize> BuildDdnsRequest(std::string_view dvrName) {
    std::array<uint8_t, kDdnsRequestSize> out{};
    std::memcpy(out.data(), kDdnsMagic, 4);
    const size_t n = std::min(dvrName.size(), kDdnsNameSize);
    std::memcpy(out.data() + 4, dvrName.data(), n);
    return out;
}

std::string_view RefusalText(int reason) {
    switch (reason) {
    case 1:
        return kTextTooManyClients;
    case 2:
        return kTextIncorrectPassword;
    case 3:
        return kTextBadNetwork;
    default:
        return kTextUnknownError;
    }
}

LoginReply ParseLoginReply(std::span<const uint8_t> bytes) {
    LoginReply r;
    if (!StartsLikeControl(bytes)) {
        r.kind = LoginReplyKind::Error;
        return r;
    }
    if (bytes.size() < kControlHeaderSize)
        return r;
    const int code = ReadHexField(bytes.data() + 8);
    if (code < kCodeLoginWait || code > kCodeLoginRefusedAlt) {
        r.kind = LoginReplyKind::Error;
        return r;
    }
    const size_t whole = std::max<size_t>(kControlHeaderSize, static_cast<size_t>(ReadHexField(bytes.data() + 4)));
    if (bytes.size() < whole)
        return r;
    r.consumed = whole;
    switch (code) {
    case kCodeLoginWait:
        r.kind = LoginReplyKind::Wait;
        break;
    case kCodeLoginAccepted:
        r.kind = LoginReplyKind::Accepted;
        break;
    default:
        r.kind = LoginReplyKind::Refused;
        r.reason = ReadHexFieldAt(bytes.first(whole), kControlHeaderSize);
        break;
    }
    return r;
}

LoginReply ConsumeLoginReplies(std::span<const uint8_t> bytes) {
    size_t used = 0;
    for (;;) {
        LoginReply r = ParseLoginReply(bytes.subspan(used));
        if (r.kind == LoginReplyKind::Wait) {
            used += r.consumed;
            if (used == bytes.size()) {
                LoginReply more;
                more.consumed = used;
                return more;
            }
            continue;
        }
        r.consumed += used;
        return r;
    }
}

DdnsReply ParseDdnsReply(std::span<const uint8_t> bytes) {
    DdnsReply r;
    const size_t n = std::min<size_t>(bytes.size(), 4);
    if (std::memcmp(bytes.data(), kDdnsMagic, n) != 0) {
        r.kind = DdnsReplyKind::Error;
        return r;
    }
    if (bytes.size() < kDdnsReplySize)
        return r;
    r.kind = DdnsReplyKind::Resolved;
    r.address = (uint32_t{bytes[4]} << 24) | (uint32_t{bytes[5]} << 16) | (uint32_t{bytes[6]} << 8) | bytes[7];
    r.port = static_cast<uint16_t>(bytes[8] | (bytes[9] << 8));
    return r;
}

std::string DottedAddress(uint32_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address >> 24, (address >> 16) & 255, (address >> 8) & 255,
                  address & 255);
    return text;
}

}  // namespace zo::net
