// The DVR's wire formats as pure functions: four-hex-digit fields, the
// messages the client sends (login, key command, logout, DDNS request), the
// parsers of the replies it accepts (login replies, DDNS reply), the texts of
// refusals, and the password digest.
//
// Every parser takes the bytes actually received and never reads past them;
// input from the network is untrusted.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace zo::net {

// Start code of the control messages in both directions: 00 00 01 FE.
inline constexpr uint8_t kControlStartCode[4] = {0x00, 0x00, 0x01, 0xFE};
inline constexpr size_t kControlHeaderSize = 12;  // start code, total length, code
// The largest control message the stream splitter keeps; longer ones are skipped.
inline constexpr size_t kControlCollectorSize = 1024;

// Message codes from the client.
inline constexpr int kCodeLoginRequest = 0x81;
inline constexpr int kCodeKeyCommand = 0x85;
inline constexpr int kCodeLogout = 0x86;

// Message codes from the DVR.
inline constexpr int kCodeLoginWait = 1;
inline constexpr int kCodeLoginRefused = 2;
inline constexpr int kCodeLoginAccepted = 3;
inline constexpr int kCodeLoginRefusedAlt = 4;
inline constexpr int kCodeStatusOne = 7;    // fifth status value
inline constexpr int kCodeStatusAll = 8;    // all five status values
inline constexpr int kCodeDisconnect = 11;  // the DVR drops this client

inline constexpr size_t kLoginRequestSize = 44;
inline constexpr size_t kKeyCommandSize = 16;
inline constexpr size_t kLogoutSize = 12;
inline constexpr size_t kDdnsRequestSize = 12;
inline constexpr size_t kDdnsReplySize = 10;  // bytes of the reply that are read
inline constexpr size_t kDdnsNameSize = 8;
inline constexpr uint8_t kDdnsMagic[4] = {0x55, 0xAA, 0x55, 0xAA};

// Failure texts.
inline constexpr std::string_view kTextTooManyClients = "Too many client.";
inline constexpr std::string_view kTextIncorrectPassword = "Incorrect password.";
inline constexpr std::string_view kTextBadNetwork = "Bad network";
inline constexpr std::string_view kTextUnknownError = "Unkown error.";
inline constexpr std::string_view kTextLoginError = "LOGIN ERROR";
inline constexpr std::string_view kTextDdnsLoginError = "DDNS LOGIN ERROR";
inline constexpr std::string_view kTextNoResponse = "No response from server.";
inline constexpr std::string_view kTextAlreadyConnected = "Already Connected";

// Value of four ASCII hex digits (either case), most significant first; 0 if
// any of the four is not a hex digit.
int ReadHexField(const uint8_t* four);
// The field at `offset` of `bytes`: 0 as well when it does not lie wholly
// within `bytes`.
int ReadHexFieldAt(std::span<const uint8_t> bytes, size_t offset);
// Writes `value` (low 16 bits) as four upper-case hex digits.
void WriteHexField(uint8_t* four, int value);

// The password's bytes for the digest. Windows-1252 when every character of
// the UTF-8 text has a Windows-1252 byte; otherwise (or when the text is not
// valid UTF-8) the bytes as they stand.
std::string PasswordBytes(std::string_view utf8Password);
// MD5 of `bytes` as 32 upper-case hex characters.
std::string Md5Hex(std::string_view bytes);

// Control message header: start code, total length, code.
void WriteControlHeader(uint8_t* out12, int totalLength, int code);

// The 44-byte login request: header "002C" "0081", then the digest of the
// password's bytes (PasswordBytes) as 32 upper-case hex characters.
std::array<uint8_t, kLoginRequestSize> BuildLoginRequest(std::string_view password);
// The 16-byte key command with the low 8 bits of `keyCode`.
std::array<uint8_t, kKeyCommandSize> BuildKeyCommand(int keyCode);
// The 12-byte logout message.
std::array<uint8_t, kLogoutSize> BuildLogout();
// The 12-byte DDNS request: 55 AA 55 AA and the name cut or zero-padded to 8.
std::array<uint8_t, kDdnsRequestSize> BuildDdnsRequest(std::string_view dvrName);

// Text of a login refusal reason: 1, 2, 3 or any other value.
std::string_view RefusalText(int reason);

// One login reply at the front of the bytes collected so far.
enum class LoginReplyKind {
    Incomplete,  // a well-begun reply whose bytes are not all in yet
    Wait,        // code 1: keep waiting
    Refused,     // code 2 or 4
    Accepted,    // code 3
    Error,       // not 00 00 01 FE, or another code: "LOGIN ERROR"
};
struct LoginReply {
    LoginReplyKind kind = LoginReplyKind::Incomplete;
    size_t consumed = 0;  // bytes of the reply (whole replies only)
    int reason = 0;       // Refused: the reason field, 0 when the reply has none
};
// A reply is a control message: whole once max(12, its total length) bytes
// are in. Errors are told as soon as the bytes show them (a wrong start code
// byte, an unknown code). The reason of a refusal is bytes 12..15 of the
// reply and reads 0 when the reply is shorter than 16 bytes.
LoginReply ParseLoginReply(std::span<const uint8_t> bytes);

// The replies in `bytes` taken in order until one ends the login or the
// bytes run out: Wait replies are consumed and skipped. The result is the
// deciding reply (Accepted, Refused, Error) with `consumed` counting every
// byte up to its end, or Incomplete with `consumed` the bytes of the wait
// replies before the incomplete rest.
LoginReply ConsumeLoginReplies(std::span<const uint8_t> bytes);

// The DDNS reply.
enum class DdnsReplyKind { Incomplete, Resolved, Error };
struct DdnsReply {
    DdnsReplyKind kind = DdnsReplyKind::Incomplete;
    uint32_t address = 0;  // IPv4, host byte order (a.b.c.d = a << 24 | ...)
    uint16_t port = 0;
};
// Resolved once 10 bytes starting 55 AA 55 AA are in (address at 4 in network
// byte order, port at 8 little-endian; the rest is ignored); Error as soon as
// a byte of the magic differs; Incomplete while fewer than 10 bytes have come
// (a reply that stays shorter fails like a wrong one).
DdnsReply ParseDdnsReply(std::span<const uint8_t> bytes);
// Dotted form of an address in host byte order.
std::string DottedAddress(uint32_t address);

}  // namespace zo::net
