// Wire fields, the password digest, the messages the client sends and the
// parsers of the replies it accepts.
#include "net/WireFormat.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace zo::net {
namespace {

std::vector<uint8_t> Bytes(std::string_view s) {
    return {s.begin(), s.end()};
}

std::string Text(std::span<const uint8_t> b) {
    return {b.begin(), b.end()};
}

std::vector<uint8_t> Reply(int code, int total = 12, std::string_view body = {}) {
    std::vector<uint8_t> r(12);
    WriteControlHeader(r.data(), total, code);
    r.insert(r.end(), body.begin(), body.end());
    return r;
}

TEST(WireFormat, HexFieldsReadEitherCaseAndNonHexReadsZero) {
    EXPECT_EQ(ReadHexField(Bytes("002C").data()), 44);
    EXPECT_EQ(ReadHexField(Bytes("abCD").data()), 0xABCD);
    EXPECT_EQ(ReadHexField(Bytes("ffff").data()), 0xFFFF);
    EXPECT_EQ(ReadHexField(Bytes("00G0").data()), 0);
    EXPECT_EQ(ReadHexField(Bytes(" 12 ").data()), 0);
    EXPECT_EQ(ReadHexField(Bytes("-001").data()), 0);
    const auto b = Bytes("xx000B");
    EXPECT_EQ(ReadHexFieldAt(b, 2), 11);
    EXPECT_EQ(ReadHexFieldAt(b, 3), 0);   // only three bytes left
    EXPECT_EQ(ReadHexFieldAt(b, 99), 0);  // past the end
    uint8_t out[4];
    WriteHexField(out, 0xbeef);
    EXPECT_EQ(Text(out), "BEEF");
    WriteHexField(out, 0x12345);  // low 16 bits
    EXPECT_EQ(Text(out), "2345");
}

TEST(WireFormat, Md5OfKnownVectors) {
    EXPECT_EQ(Md5Hex(""), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(Md5Hex("abc"), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(Md5Hex("message digest"), "F96B697D7CB7938D525A2F31AAF161D0");
    EXPECT_EQ(Md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57EDF4A22BE3C955AC49DA2E2107B67A");
}

TEST(WireFormat, PasswordBytesAreWindows1252WhereTheyCanBe) {
    // "café": é is E9 in Windows-1252.
    EXPECT_EQ(PasswordBytes("caf\xC3\xA9"), "caf\xE9");
    EXPECT_EQ(Md5Hex(PasswordBytes("caf\xC3\xA9")), "961F50F6282239D09E48F812C1CA7276");
    // The euro sign is 80.
    EXPECT_EQ(Md5Hex(PasswordBytes("\xE2\x82\xAC")), "8D39DD7EEF115EA6975446EF4082951F");
    // Characters outside Windows-1252: the UTF-8 bytes as they stand.
    EXPECT_EQ(PasswordBytes("\xE5\xAF\x86\xE7\xA0\x81"), "\xE5\xAF\x86\xE7\xA0\x81");
    EXPECT_EQ(Md5Hex(PasswordBytes("\xE5\xAF\x86\xE7\xA0\x81")), "A8105204604A0B11E916F3879AAE3B0B");
    // One such character decides for the whole text.
    EXPECT_EQ(PasswordBytes("\xC3\xA9\xE5\xAF\x86"), "\xC3\xA9\xE5\xAF\x86");
    // Not UTF-8 (a lone E9, a truncated sequence, an overlong form): as it stands.
    EXPECT_EQ(PasswordBytes("a\xE9\x80\x9F"), "a\xE9\x80\x9F");
    EXPECT_EQ(Md5Hex(PasswordBytes("a\xE9\x80\x9F")), "AEF50E758796D05D6A32DB9B7CBC4EE7");
    EXPECT_EQ(PasswordBytes("ab\xC3"), "ab\xC3");
    EXPECT_EQ(PasswordBytes("\xC0\xAF"), "\xC0\xAF");
    EXPECT_EQ(PasswordBytes("plain"), "plain");
}

TEST(WireFormat, MessagesFromTheClient) {
    const auto empty = BuildLoginRequest("");
    EXPECT_EQ(Text(empty), std::string("\x00\x00\x01\xFE", 4) + "002C0081D41D8CD98F00B204E9800998ECF8427E");
    const auto login = BuildLoginRequest("secret");
    EXPECT_EQ(Text(std::span(login).subspan(12)), "5EBE2294ECD0E0F08EAB7690D2A6EE69");

    EXPECT_EQ(Text(BuildKeyCommand(21)), std::string("\x00\x00\x01\xFE", 4) + "001000850015");
    EXPECT_EQ(Text(BuildKeyCommand(256 + 255)), std::string("\x00\x00\x01\xFE", 4) + "0010008500FF");
    EXPECT_EQ(Text(BuildLogout()), std::string("\x00\x00\x01\xFE", 4) + "000C0086");

    EXPECT_EQ(Text(BuildDdnsRequest("DVR000")), std::string("\x55\xAA\x55\xAA" "DVR000\0\0", 12));
    EXPECT_EQ(Text(BuildDdnsRequest("ABCDEFGH")), "\x55\xAA\x55\xAA" "ABCDEFGH");
    EXPECT_EQ(Text(BuildDdnsRequest("ABCDEFGHIJ")), "\x55\xAA\x55\xAA" "ABCDEFGH");
    EXPECT_EQ(Text(BuildDdnsRequest("")), std::string("\x55\xAA\x55\xAA\0\0\0\0\0\0\0\0", 12));
}

TEST(WireFormat, LoginRepliesAreWholeControlMessages) {
    // Every prefix of a well-begun reply is incomplete.
    const auto accept = Reply(3);
    for (size_t n = 0; n < accept.size(); ++n)
        EXPECT_EQ(ParseLoginReply(std::span(accept).first(n)).kind, LoginReplyKind::Incomplete) << n;
    auto r = ParseLoginReply(accept);
    EXPECT_EQ(r.kind, LoginReplyKind::Accepted);
    EXPECT_EQ(r.consumed, 12u);

    // The total length decides where the reply ends; below 12 it is 12.
    auto longer = Reply(3, 0x14, "ABCDEFGH");
    EXPECT_EQ(ParseLoginReply(std::span(longer).first(19)).kind, LoginReplyKind::Incomplete);
    EXPECT_EQ(ParseLoginReply(longer).consumed, 20u);
    EXPECT_EQ(ParseLoginReply(Reply(1, 0)).consumed, 12u);
    EXPECT_EQ(ParseLoginReply(Reply(1, 0)).kind, LoginReplyKind::Wait);

    // Errors show as soon as the bytes do.
    const std::vector<uint8_t> wrongStart = {0x00, 0x00, 0x02};
    EXPECT_EQ(ParseLoginReply(wrongStart).kind, LoginReplyKind::Error);
    EXPECT_EQ(ParseLoginReply(Bytes("HTTP/1.0 200")).kind, LoginReplyKind::Error);
    EXPECT_EQ(ParseLoginReply(Reply(5, 0x40)).kind, LoginReplyKind::Error);
    EXPECT_EQ(ParseLoginReply(Reply(0)).kind, LoginReplyKind::Error);
    auto lower = Reply(3);
    lower[8] = '0', lower[9] = '0', lower[10] = '0', lower[11] = '3';
    EXPECT_EQ(ParseLoginReply(lower).kind, LoginReplyKind::Accepted);
}

TEST(WireFormat, RefusalReasonsAndTheirTexts) {
    for (int code : {2, 4}) {
        for (auto [reason, text] : std::vector<std::pair<std::string, std::string_view>>{
                 {"0001", "Too many client."},
                 {"0002", "Incorrect password."},
                 {"0003", "Bad network"},
                 {"0009", "Unkown error."},
                 {"zzzz", "Unkown error."}}) {
            const auto r = ParseLoginReply(Reply(code, 16, reason));
            ASSERT_EQ(r.kind, LoginReplyKind::Refused);
            EXPECT_EQ(RefusalText(r.reason), text) << reason;
        }
    }
    // A refusal without a reason field reads reason 0, never the bytes
    // after the reply.
    auto shortRefusal = Reply(2, 12);
    const std::string next = "0002";
    shortRefusal.insert(shortRefusal.end(), next.begin(), next.end());
    const auto r = ParseLoginReply(shortRefusal);
    EXPECT_EQ(r.kind, LoginReplyKind::Refused);
    EXPECT_EQ(r.reason, 0);
    EXPECT_EQ(RefusalText(r.reason), "Unkown error.");
}

TEST(WireFormat, SeveralRepliesInOrder) {
    // Wait then accept in one receive logs in; the bytes after the accepting
    // reply are not part of it.
    std::vector<uint8_t> bytes = Reply(1);
    const auto accept = Reply(3, 12);
    bytes.insert(bytes.end(), accept.begin(), accept.end());
    bytes.insert(bytes.end(), {0x00, 0x00, 0x01, 0xF9, 0x85});
    auto r = ConsumeLoginReplies(bytes);
    EXPECT_EQ(r.kind, LoginReplyKind::Accepted);
    EXPECT_EQ(r.consumed, 24u);

    // Waits, then a reply not yet whole: the waits are consumed.
    std::vector<uint8_t> waits = Reply(1);
    const auto second = Reply(1, 16, "0000");
    waits.insert(waits.end(), second.begin(), second.end());
    waits.insert(waits.end(), accept.begin(), accept.begin() + 7);
    r = ConsumeLoginReplies(waits);
    EXPECT_EQ(r.kind, LoginReplyKind::Incomplete);
    EXPECT_EQ(r.consumed, 28u);

    // A wait followed by garbage fails.
    std::vector<uint8_t> bad = Reply(1);
    bad.push_back(0x42);
    EXPECT_EQ(ConsumeLoginReplies(bad).kind, LoginReplyKind::Error);
}

// Collecting as the receiver does (keep the rest, drop consumed waits) over
// every split of a byte sequence into two receives gives the same decision.
TEST(WireFormat, RepliesSplitOverReceivesDecideTheSame) {
    std::vector<uint8_t> bytes = Reply(1, 0x10, "FFFF");
    const auto refuse = Reply(4, 0x10, "0002");
    bytes.insert(bytes.end(), refuse.begin(), refuse.end());
    for (size_t step = 1; step <= bytes.size(); ++step) {
        std::vector<uint8_t> have;
        LoginReply last;
        for (size_t at = 0; at < bytes.size(); at += step) {
            have.insert(have.end(), bytes.begin() + at, bytes.begin() + std::min(bytes.size(), at + step));
            last = ConsumeLoginReplies(have);
            if (last.kind != LoginReplyKind::Incomplete)
                break;
            have.erase(have.begin(), have.begin() + last.consumed);
        }
        ASSERT_EQ(last.kind, LoginReplyKind::Refused) << "receives of " << step;
        EXPECT_EQ(RefusalText(last.reason), "Incorrect password.");
    }
}

TEST(WireFormat, DdnsReply) {
    const std::vector<uint8_t> reply = {0x55, 0xAA, 0x55, 0xAA, 192, 168, 7, 20, 0x39, 0x30, 0xEE, 0xEE};
    for (size_t n = 0; n < kDdnsReplySize; ++n)
        EXPECT_EQ(ParseDdnsReply(std::span(reply).first(n)).kind, DdnsReplyKind::Incomplete) << n;
    const auto r = ParseDdnsReply(reply);
    ASSERT_EQ(r.kind, DdnsReplyKind::Resolved);
    EXPECT_EQ(DottedAddress(r.address), "192.168.7.20");
    EXPECT_EQ(r.port, 12345);  // 39 30, little-endian
    for (size_t i = 0; i < 4; ++i) {
        auto wrong = reply;
        wrong[i] ^= 1;
        EXPECT_EQ(ParseDdnsReply(std::span(wrong).first(i + 1)).kind, DdnsReplyKind::Error) << i;
        EXPECT_EQ(ParseDdnsReply(wrong).kind, DdnsReplyKind::Error) << i;
    }
}

}  // namespace
}  // namespace zo::net
