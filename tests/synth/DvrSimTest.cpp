// The simulated DVR and DDNS server against a raw client of the test's own:
// login answers, the stream and its frame record, control messages, keys
// and logout, every fault mode, and the live-frame maker.
#include "synth/DvrSim.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "media/CZoFile.h"
#include "synth/DdnsSim.h"
#include "synth/DemoRecording.h"
#include "codec/CZoVdec.h"
#include "synth/FrameMaker.h"

namespace zo::synth {
namespace {

constexpr int64_t kLimitMs = 20000;  // generous: the suite also runs under the sanitizers

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::vector<uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> Message(std::string_view lengthAndCodeAndBody) {
    std::vector<uint8_t> m;
    m.reserve(4 + lengthAndCodeAndBody.size());
    for (uint8_t b : {0x00, 0x00, 0x01, 0xFE})
        m.push_back(b);
    for (char c : lengthAndCodeAndBody)
        m.push_back(static_cast<uint8_t>(c));
    return m;
}

std::vector<uint8_t> LoginRequest(const std::string& password) { return Message("002C0081" + LoginDigest(password)); }

// A blocking TCP client on loopback with bounded reads.
class RawClient {
public:
    explicit RawClient(uint16_t port) {
        fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~RawClient() { Close(); }
    void Close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    bool Connected() const { return connected_; }
    bool Send(const std::vector<uint8_t>& b) {
        return ::send(fd_, b.data(), b.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(b.size());
    }
    // Appends what arrives within `timeoutMs` of silence; false once the
    // peer closed or reset the connection.
    bool Read(std::vector<uint8_t>& into, int timeoutMs) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) <= 0)
            return true;
        uint8_t buffer[65536];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        if (n <= 0) {
            closed_ = true;
            reset_ = n < 0 && errno == ECONNRESET;
            return false;
        }
        into.insert(into.end(), buffer, buffer + n);
        return true;
    }
    // Reads until `done()` or the peer closes or the limit passes.
    template <typename Done>
    bool ReadUntil(std::vector<uint8_t>& into, Done done, int64_t limitMs = kLimitMs) {
        const int64_t start = NowMs();
        while (!done()) {
            if (NowMs() - start > limitMs || !Read(into, 50))
                return done();
        }
        return true;
    }
    bool Closed() const { return closed_; }
    bool WasReset() const { return reset_; }

private:
    int fd_ = -1;
    bool connected_ = false;
    bool closed_ = false;
    bool reset_ = false;
};

// The stream split at its start codes as a client must split it: frames
// (F8, F9, FA) from their start code to the next, control messages (FE) by
// their length and taken out of the frame they interrupt.
struct Split {
    std::vector<std::vector<uint8_t>> frames;    // complete frames, start code included
    std::vector<std::vector<uint8_t>> controls;  // control messages, whole
    std::vector<int> controlInFrame;             // frame index a message interrupted, -1 between frames
};

Split SplitStream(const std::vector<uint8_t>& s) {
    Split out;
    std::vector<uint8_t> frame;
    bool open = false;
    size_t i = 0;
    // Bytes before the first frame start code are dropped.
    while (i < s.size()) {
        if (i + 4 <= s.size() && s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1 &&
            (s[i + 3] == 0xF8 || s[i + 3] == 0xF9 || s[i + 3] == 0xFA)) {
            if (open)
                out.frames.push_back(frame);
            frame.assign(s.begin() + i, s.begin() + i + 4);
            open = true;
            i += 4;
            continue;
        }
        if (i + 12 <= s.size() && s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1 && s[i + 3] == 0xFE) {
            const int length = ParseHex4(reinterpret_cast<const char*>(&s[i + 4]));
            if (length < 12 || i + static_cast<size_t>(length) > s.size())
                break;  // incomplete (or not a message): stop here
            out.controls.emplace_back(s.begin() + i, s.begin() + i + length);
            out.controlInFrame.push_back(open && frame.size() > 4 ? static_cast<int>(out.frames.size()) : -1);
            i += static_cast<size_t>(length);
            continue;
        }
        if (open)
            frame.push_back(s[i]);
        ++i;
    }
    return out;
}

int ControlCode(const std::vector<uint8_t>& m) { return ParseHex4(reinterpret_cast<const char*>(&m[8])); }

LiveLoopOptions Placeholder(int channels = 2) {
    LiveLoopOptions o;
    o.channels = channels;
    o.picturesPerChannel = 6;
    o.keyEvery = 3;
    o.realVideo = false;
    o.placeholderSliceBytes = 40;
    return o;
}

DvrSimOptions Options(DvrFault fault = DvrFault::None) {
    DvrSimOptions o;
    o.password = "secret";
    o.fault = fault;
    o.acceptPauseMs = 20;
    o.loop = MakeLiveLoop(Placeholder());
    return o;
}

// Logs in and returns the bytes received up to and including the reply.
std::vector<uint8_t> LogIn(RawClient& c, const std::string& password, size_t replyBytes = 12) {
    std::vector<uint8_t> got;
    EXPECT_TRUE(c.Send(LoginRequest(password)));
    c.ReadUntil(got, [&] { return got.size() >= replyBytes; });
    return got;
}

// Logs in, expects the accepting reply and returns what followed it.
std::vector<uint8_t> LogInToStream(RawClient& c, const std::string& password = "secret") {
    std::vector<uint8_t> got = LogIn(c, password);
    EXPECT_GE(got.size(), 12u);
    if (got.size() < 12)
        return {};
    EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + 12), Message("000C0003"));
    got.erase(got.begin(), got.begin() + 12);
    return got;
}

// Reads the stream until `frames` complete frames are in.
Split ReadFrames(RawClient& c, std::vector<uint8_t>& stream, size_t frames) {
    Split split;
    c.ReadUntil(stream, [&] {
        split = SplitStream(stream);
        return split.frames.size() >= frames;
    });
    return split;
}

// Frame i of the split is sent frame i, byte for byte.
void ExpectSameFrames(const Split& split, const std::vector<SentFrame>& sent) {
    ASSERT_LE(split.frames.size(), sent.size());
    for (size_t i = 0; i < split.frames.size(); ++i) {
        EXPECT_EQ(Md5Hex(split.frames[i].data(), split.frames[i].size()), sent[i].md5) << "frame " << i;
        EXPECT_EQ(split.frames[i].size(), sent[i].length) << "frame " << i;
    }
}

TEST(DvrSimLogin, AnswersTheDigestOfItsPasswordAndRefusesOthers) {
    DvrSim sim(Options());
    ASSERT_TRUE(sim.Start()) << sim.Error();
    ASSERT_NE(sim.Port(), 0);
    {
        RawClient c(sim.Port());
        ASSERT_TRUE(c.Connected());
        const auto reply = LogIn(c, "secret");
        ASSERT_GE(reply.size(), 12u);
        EXPECT_EQ(std::vector<uint8_t>(reply.begin(), reply.begin() + 12), Message("000C0003"));
    }
    {
        RawClient c(sim.Port());
        const auto reply = LogIn(c, "wrong", 16);
        ASSERT_GE(reply.size(), 16u);
        EXPECT_EQ(std::vector<uint8_t>(reply.begin(), reply.begin() + 16), Message("001000020002"));
        // The DVR closes a refused client's connection once it goes.
    }
    ASSERT_TRUE(sim.WaitForEvents(DvrEventKind::Login, 2, kLimitMs));
    std::vector<DvrEvent> logins;
    for (const DvrEvent& e : sim.Events())
        if (e.kind == DvrEventKind::Login)
            logins.push_back(e);
    EXPECT_EQ(logins[0].digest, LoginDigest("secret"));
    EXPECT_EQ(logins[0].value, 3);
    EXPECT_EQ(logins[0].connection, 1);
    EXPECT_EQ(logins[1].value, 2);
    EXPECT_EQ(logins[1].reason, 2);
    EXPECT_EQ(logins[1].connection, 2);
    EXPECT_NE(logins[1].text.find("Incorrect password."), std::string::npos);
}

TEST(DvrSimLogin, DigestOfTheEmptyPasswordAndLowerCaseHexAreAccepted) {
    EXPECT_EQ(LoginDigest(""), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(LoginDigest("abc"), "900150983CD24FB0D6963F7D28E17F72");
    DvrSimOptions o = Options();
    o.password = "";
    DvrSim sim(o);
    ASSERT_TRUE(sim.Start());
    RawClient c(sim.Port());
    ASSERT_TRUE(c.Send(Message("002C0081d41d8cd98f00b204e9800998ecf8427e")));
    std::vector<uint8_t> got;
    c.ReadUntil(got, [&] { return got.size() >= 12; });
    ASSERT_GE(got.size(), 12u);
    EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + 12), Message("000C0003"));
}

TEST(DvrSimLogin, EachRefusalModeSendsItsCodeAndReason) {
    struct Case {
        DvrFault fault;
        const char* reply;
        const char* text;
    };
    for (const Case& k : {Case{DvrFault::RefuseTooManyClients, "001000020001", "Too many client."},
                          Case{DvrFault::RefuseIncorrectPassword, "001000020002", "Incorrect password."},
                          Case{DvrFault::RefuseBadNetwork, "001000040003", "Bad network"},
                          Case{DvrFault::RefuseUnknownReason, "001000040009", "Unkown error."}}) {
        SCOPED_TRACE(std::string(DvrFaultName(k.fault)));
        DvrSim sim(Options(k.fault));
        ASSERT_TRUE(sim.Start());
        RawClient c(sim.Port());
        const auto reply = LogIn(c, "secret", 16);
        ASSERT_GE(reply.size(), 16u);
        EXPECT_EQ(std::vector<uint8_t>(reply.begin(), reply.begin() + 16), Message(k.reply));
        ASSERT_TRUE(sim.WaitForEvents(DvrEventKind::Login, 1, kLimitMs));
        EXPECT_NE(sim.Events()[1].text.find(k.text), std::string::npos) << sim.Events()[1].text;
        c.Close();
        EXPECT_TRUE(sim.WaitForEvents(DvrEventKind::Disconnected, 1, kLimitMs));
        EXPECT_EQ(sim.SentCount(), 0u);
    }
}

TEST(DvrSimLogin, WaitRepliesComeBeforeTheVerdictInReceivesOfTheirOwn) {
    DvrSimOptions o = Options();
    o.loginWaits = 2;
    o.loginWaitGapMs = 100;
    DvrSim sim(o);
    ASSERT_TRUE(sim.Start());
    RawClient c(sim.Port());
    const auto got = LogIn(c, "secret", 36);
    ASSERT_GE(got.size(), 36u);
    EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + 12), Message("000C0001"));
    EXPECT_EQ(std::vector<uint8_t>(got.begin() + 12, got.begin() + 24), Message("000C0001"));
    EXPECT_EQ(std::vector<uint8_t>(got.begin() + 24, got.begin() + 36), Message("000C0003"));
}

TEST(DvrSimLogin, WrongStartCodeAndNoReplyModes) {
    {
        DvrSim sim(Options(DvrFault::WrongReplyStartCode));
        ASSERT_TRUE(sim.Start());
        RawClient c(sim.Port());
        const auto reply = LogIn(c, "secret");
        ASSERT_GE(reply.size(), 12u);
        EXPECT_EQ(reply[3], 0xFD);
        EXPECT_EQ(std::vector<uint8_t>(reply.begin() + 4, reply.begin() + 12), Bytes("000C0003"));
    }
    {
        DvrSim sim(Options(DvrFault::NoLoginReply));
        ASSERT_TRUE(sim.Start());
        RawClient c(sim.Port());
        ASSERT_TRUE(c.Send(LoginRequest("secret")));
        ASSERT_TRUE(sim.WaitForEvents(DvrEventKind::Login, 1, kLimitMs));
        // Logged as received; the connection stays open with nothing on it.
        std::vector<uint8_t> got;
        EXPECT_TRUE(c.Read(got, 200));
        EXPECT_TRUE(got.empty());
        EXPECT_FALSE(c.Closed());
        EXPECT_EQ(sim.Count(DvrEventKind::Disconnected), 0);
    }
}

TEST(DvrSimStream, FramesMatchTheRecordInLiveLayoutWithCountersAndSound) {
    DvrSimOptions o = Options();
    o.firstCounter = 0xFFFE;  // the counter wraps
    o.statusValues[0] = 0x1234;
    DvrSim sim(o);
    ASSERT_TRUE(sim.Start());
    RawClient c(sim.Port());
    auto stream = LogInToStream(c);
    const Split split = ReadFrames(c, stream, 20);
    ASSERT_GE(split.frames.size(), 20u);
    const auto sent = sim.SentFrames();
    ExpectSameFrames(split, sent);

    // Message 8 with the status values comes first.
    ASSERT_FALSE(split.controls.empty());
    EXPECT_EQ(split.controls[0], Message("0020000812340000000000000001"));
    EXPECT_EQ(split.controlInFrame[0], -1);

    int pictures = 0, sounds = 0;
    for (size_t i = 0; i < split.frames.size(); ++i) {
        const auto& f = split.frames[i];
        if (f[3] == 0xFA) {
            ++sounds;
            EXPECT_EQ(sent[i].kind, media::FrameKind::Sound);
            EXPECT_EQ(sent[i].deliveredMd5, Md5Hex(f.data() + 6, f.size() - 6));
            continue;
        }
        media::VideoHeader h;
        EXPECT_TRUE(media::ParseVideoHeader(f.data(), f.size(), media::kVideoZON, h)) << "frame " << i;
        EXPECT_EQ(h.pictureCounter, (0xFFFE + pictures) & 0xFFFF);
        EXPECT_EQ(sent[i].pictureCounter, h.pictureCounter);
        // Cameras round robin in bits 0-2; key pictures every third picture of a camera.
        EXPECT_EQ(f[4] & 7, pictures % 2);
        EXPECT_EQ(sent[i].channel, pictures % 2);
        const bool key = (pictures / 2) % 3 == 0;
        EXPECT_EQ((f[4] & 0x80) != 0, key);
        EXPECT_EQ(f[3], key ? 0xF9 : 0xF8);
        ++pictures;
    }
    EXPECT_GT(sounds, 0);
    EXPECT_GT(pictures, 10);
}

TEST(DvrSimStream, PacedByItsClockAtThePicturePeriod) {
    platform::ManualClock clock(1000000);
    DvrSimOptions o = Options();
    o.clock = &clock;
    o.loop = MakeLiveLoop([] {
        LiveLoopOptions l = Placeholder(1);
        l.audio = false;
        return l;
    }());
    DvrSim sim(o);
    ASSERT_TRUE(sim.Start());
    RawClient c(sim.Port());
    std::vector<uint8_t> stream = LogInToStream(c);
    ReadFrames(c, stream, 13);
    const auto sent = sim.SentFrames();
    ASSERT_GE(sent.size(), 13u);
    // Virtual time moves only by the simulator's sleeps: each picture goes
    // out exactly one period after the one before, across the loop's end.
    for (size_t i = 1; i < 13; ++i)
        EXPECT_EQ(sent[i].sentUs - sent[i - 1].sentUs, 33333) << i;
}

TEST(DvrSimStream, FloodIgnoresTheClock) {
    platform::ManualClock clock(1000000);
    DvrSimOptions o = Options(DvrFault::Flood);
    o.clock = &clock;
    DvrSim sim(o);
    ASSERT_TRUE(sim.Start());
    RawClient c(sim.Port());
    std::vector<uint8_t> stream = LogInToStream(c);
    const Split split = ReadFrames(c, stream, 200);
    ASSERT_GE(split.frames.size(), 200u);
    const auto sent = sim.SentFrames();
    ExpectSameFrames(split, sent);
    EXPECT_EQ(sent[199].sentUs, sent[0].sentUs);  // no sleep at all
}

TEST(DvrSimStream, TriggeredControlMessagesAndTheDrop) {
    DvrSim sim(Options());
    ASSERT_TRUE(sim.Start());
    RawClient c(sim.Port());
    std::vector<uint8_t> stream = LogInToStream(c);
    ReadFrames(c, stream, 3);
    sim.SendStatusValue(0x00AB);
    const uint16_t values[5] = {1, 2, 3, 4, 0xBEEF};
    sim.SendStatusValues(values);
    ASSERT_TRUE(sim.WaitForEvents(DvrEventKind::ControlSent, 3, kLimitMs));
    sim.SendDrop();
    // After message 11 the DVR closes the connection.
    c.ReadUntil(stream, [] { return false; });
    EXPECT_TRUE(c.Closed());
    const Split split = SplitStream(stream);
    ASSERT_EQ(split.controls.size(), 4u);
    EXPECT_EQ(split.controls[1], Message("0010000700AB"));
    EXPECT_EQ(split.controls[2], Message("002000080001000200030004BEEF"));
    EXPECT_EQ(split.controls[3], Message("000C000B"));
    ExpectSameFrames(split, sim.SentFrames());
    ASSERT_TRUE(sim.WaitForEvents(DvrEventKind::Disconnected, 1, kLimitMs));
    EXPECT_NE(sim.Events().back().text.find("dropped"), std::string::npos);
}

TEST(DvrSimStream, KeysAndLogoutAreLoggedInOrderAndHostileBytesSkipped) {
    DvrSim sim(Options());
    ASSERT_TRUE(sim.Start());
    RawClient c(sim.Port());
    std::vector<uint8_t> stream = LogInToStream(c);
    std::vector<uint8_t> out = Message("00100085000F");
    for (uint8_t b : Bytes("junk\x01\x02"))
        out.push_back(b);
    const auto bad = Message("00G00085");  // not a length
    out.insert(out.end(), bad.begin(), bad.end());
    const auto key21 = Message("001000850015");
    out.insert(out.end(), key21.begin(), key21.end());
    const auto unknown = Message("000C0099");
    out.insert(out.end(), unknown.begin(), unknown.end());
    const auto big = Message("FFFF0085");  // longer than any message
    out.insert(out.end(), big.begin(), big.end());
    // A key split across two sends.
    ASSERT_TRUE(c.Send(out));
    ASSERT_TRUE(c.Send(Message("0010008500")));
    ASSERT_TRUE(sim.WaitForEvents(DvrEventKind::BadRequest, 1, kLimitMs));
    ASSERT_TRUE(c.Send(Bytes("ff")));
    ASSERT_TRUE(sim.WaitForEvents(DvrEventKind::Key, 3, kLimitMs));
    ASSERT_TRUE(c.Send(Message("000C0086")));
    c.ReadUntil(stream, [] { return false; });
    EXPECT_TRUE(c.Closed());
    EXPECT_EQ(sim.Keys(), (std::vector<int>{15, 21, 255}));
    EXPECT_EQ(sim.Count(DvrEventKind::Logout), 1);
    EXPECT_GE(sim.Count(DvrEventKind::BadRequest), 3);
    ASSERT_TRUE(sim.WaitForEvents(DvrEventKind::Disconnected, 1, kLimitMs));
    EXPECT_NE(sim.Events().back().text.find("logout"), std::string::npos);
}

TEST(DvrSimParser, FindsMessagesInHostileBytesFedInAnyPieces) {
    std::vector<uint8_t> all = Bytes("xx");
    for (const char* m : {"00100085002A", "000C0086", "0003", "00100085ZZZZ", "002C0081"})
        for (uint8_t b : Message(m))
            all.push_back(b);
    all.resize(all.size() + 32, 'A');  // the login body
    for (size_t piece : {size_t{1}, size_t{5}, all.size()}) {
        ClientMessageParser p;
        std::vector<ClientMessageParser::Message> got;
        for (size_t at = 0; at < all.size(); at += piece) {
            p.Feed(all.data() + at, std::min(piece, all.size() - at));
            ClientMessageParser::Message m;
            while (p.Next(m))
                got.push_back(m);
        }
        std::vector<int> codes;
        for (const auto& m : got)
            if (m.code >= 0)
                codes.push_back(m.code);
        // "0003" is no length (its start code is skipped); the key with
        // ZZZZ parses as a message whose body is no key.
        EXPECT_EQ(codes, (std::vector<int>{0x85, 0x86, 0x85, 0x81})) << "pieces of " << piece;
        ASSERT_FALSE(got.empty());
        size_t leading = 0;
        for (size_t i = 0; i < got.size() && got[i].code < 0; ++i)
            leading += got[i].skipped;
        EXPECT_EQ(leading, 2u);
        EXPECT_EQ(got.back().body, std::string(32, 'A'));
    }
    EXPECT_EQ(ParseHex4("00aF"), 0xAF);
    EXPECT_EQ(ParseHex4("12 4"), -1);
}

TEST(DvrSimFaults, SilenceKeepsTheConnectionOpenAndTheNextOneStreams) {
    DvrSimOptions o = Options(DvrFault::Silence);
    o.faultAfterFrames = 8;
    DvrSim sim(o);
    ASSERT_TRUE(sim.Start());
    {
        RawClient c(sim.Port());
        std::vector<uint8_t> stream = LogInToStream(c);
        ASSERT_TRUE(sim.WaitForEvents(DvrEventKind::Silent, 1, kLimitMs));
        c.ReadUntil(stream, [&] { return SplitStream(stream).frames.size() >= 7; });
        std::vector<uint8_t> after;
        EXPECT_TRUE(c.Read(after, 200));
        EXPECT_FALSE(c.Closed());
        stream.insert(stream.end(), after.begin(), after.end());
        EXPECT_EQ(sim.SentCount(), 8u);
        // The eighth frame stays open: no start code follows it.
        const Split split = SplitStream(stream);
        EXPECT_EQ(split.frames.size(), 7u);
        ExpectSameFrames(split, sim.SentFrames());
    }
    RawClient again(sim.Port());
    std::vector<uint8_t> stream = LogInToStream(again);
    ReadFrames(again, stream, 3);
    EXPECT_EQ(sim.SentFrames().back().connection, 2);
}

TEST(DvrSimFaults, ResetEndsTheConnectionWithAReset) {
    DvrSimOptions o = Options(DvrFault::Reset);
    o.faultAfterFrames = 5;
    DvrSim sim(o);
    ASSERT_TRUE(sim.Start());
    RawClient c(sim.Port());
    std::vector<uint8_t> stream = LogInToStream(c);
    c.ReadUntil(stream, [] { return false; });
    EXPECT_TRUE(c.Closed());
    EXPECT_TRUE(c.WasReset());
    ASSERT_TRUE(sim.WaitForEvents(DvrEventKind::Reset, 1, kLimitMs));
    EXPECT_EQ(sim.SentCount(), 5u);
}

TEST(DvrSimFaults, SilenceAndResetOnRequestAtAFrameBoundary) {
    DvrSim sim(Options());
    ASSERT_TRUE(sim.Start());
    {
        RawClient c(sim.Port());
        std::vector<uint8_t> stream = LogInToStream(c);
        ReadFrames(c, stream, 4);
        sim.GoSilent();
        ASSERT_TRUE(sim.WaitForEvents(DvrEventKind::Silent, 1, kLimitMs));
        const uint64_t sent = sim.SentCount();
        // Nothing follows on the open connection: what came is whole frames
        // up to the last one, which no start code closes.
        c.ReadUntil(stream, [&] { return SplitStream(stream).frames.size() + 1 >= sent; });
        std::vector<uint8_t> after;
        EXPECT_TRUE(c.Read(after, 200));
        EXPECT_TRUE(after.empty());
        EXPECT_EQ(sim.SentCount(), sent);
        ExpectSameFrames(SplitStream(stream), sim.SentFrames());
    }
    RawClient again(sim.Port());
    std::vector<uint8_t> stream = LogInToStream(again);
    ReadFrames(again, stream, 2);
    sim.ResetNow();
    again.ReadUntil(stream, [] { return false; });
    EXPECT_TRUE(again.WasReset());
    ASSERT_TRUE(sim.WaitForEvents(DvrEventKind::Reset, 1, kLimitMs));
    EXPECT_EQ(sim.Events().back().connection, 2);
}

TEST(DvrSimFaults, StreamsThatStaySplittableByteForByte) {
    // Each of these changes how the bytes travel or what stands between
    // frames, never the frames' own bytes.
    for (DvrFault fault : {DvrFault::Slow, DvrFault::SplitStartCodes, DvrFault::Garbage, DvrFault::OverlongControl,
                           DvrFault::OversizeFrames}) {
        SCOPED_TRACE(std::string(DvrFaultName(fault)));
        DvrSimOptions o = Options(fault);
        o.faultEveryFrames = 3;
        o.slowByteGapUs = 0;
        DvrSim sim(o);
        ASSERT_TRUE(sim.Start());
        RawClient c(sim.Port());
        std::vector<uint8_t> stream = LogInToStream(c);
        const Split split = ReadFrames(c, stream, 10);
        ASSERT_GE(split.frames.size(), 10u);
        const auto sent = sim.SentFrames();
        ExpectSameFrames(split, sent);
        if (fault == DvrFault::Garbage) {
            // Garbage before the first frame, and an FB code after every frame.
            static constexpr uint8_t kFb[4] = {0, 0, 1, 0xFB};
            static constexpr uint8_t kKey[4] = {0, 0, 1, 0xF9};
            EXPECT_LT(std::search(stream.begin(), stream.end(), kFb, kFb + 4),
                      std::search(stream.begin(), stream.end(), kKey, kKey + 4));
            for (size_t i = 0; i < 10; ++i) {
                const auto& f = split.frames[i];
                const auto fb = std::search(f.begin() + 4, f.end(), kFb, kFb + 4);
                EXPECT_NE(fb, f.end()) << i;
            }
        }
        if (fault == DvrFault::OverlongControl) {
            int overlong = 0;
            for (size_t i = 0; i < split.controls.size(); ++i)
                if (split.controls[i].size() == 1536) {
                    ++overlong;
                    EXPECT_EQ(ControlCode(split.controls[i]), 8);
                    EXPECT_GE(split.controlInFrame[i], 0);  // inside a frame
                }
            EXPECT_GE(overlong, 3);
        }
        if (fault == DvrFault::OversizeFrames) {
            int oversize = 0, pictures = 0;
            for (size_t i = 0; i < split.frames.size(); ++i) {
                if (sent[i].kind != media::FrameKind::Video)
                    continue;
                const bool expected = pictures++ % 3 == 2;
                EXPECT_EQ(sent[i].oversize, expected) << i;
                EXPECT_EQ(split.frames[i].size() > media::kMaxFrameSize, expected) << i;
                oversize += expected;
            }
            EXPECT_GE(oversize, 2);
        }
    }
}

TEST(DvrSimFaults, NamesRoundTripAndAreDescribed) {
    EXPECT_EQ(AllDvrFaults().size(), 15u);
    for (DvrFault f : AllDvrFaults()) {
        DvrFault back = DvrFault::None;
        ASSERT_TRUE(DvrFaultFromName(DvrFaultName(f), back));
        EXPECT_EQ(back, f);
        EXPECT_FALSE(DvrFaultDescription(f).empty());
    }
    DvrFault f;
    EXPECT_FALSE(DvrFaultFromName("bogus", f));
    for (DdnsFault d : AllDdnsFaults()) {
        DdnsFault back = DdnsFault::None;
        ASSERT_TRUE(DdnsFaultFromName(DdnsFaultName(d), back));
        EXPECT_EQ(back, d);
    }
}

TEST(DvrSimStop, StopsWhileAClientNeitherReadsNorCloses) {
    DvrSim sim(Options(DvrFault::Flood));
    ASSERT_TRUE(sim.Start());
    RawClient c(sim.Port());
    ASSERT_TRUE(c.Send(LoginRequest("secret")));
    // The socket buffers fill; the simulator waits in its send.
    ASSERT_TRUE(sim.WaitForSentFrames(50, kLimitMs));
    const int64_t start = NowMs();
    sim.Stop();
    EXPECT_LT(NowMs() - start, kLimitMs);
    EXPECT_NE(sim.Events().back().text.find("stopped"), std::string::npos);
}

TEST(DdnsSimAnswers, TheDvrNameWithAddressAndPortAndMisbehavesOnRequest) {
    struct Case {
        DdnsFault fault;
        bool answered;
    };
    for (const Case& k : {Case{DdnsFault::None, true}, Case{DdnsFault::WrongMagic, true},
                          Case{DdnsFault::WrongPort, true}, Case{DdnsFault::NoReply, false}}) {
        SCOPED_TRACE(std::string(DdnsFaultName(k.fault)));
        DdnsSimOptions o;
        o.name = "CAMERAS8";  // eight characters: no terminator
        o.dvrPort = 0x1234;
        o.fault = k.fault;
        DdnsSim ddns(o);
        ASSERT_TRUE(ddns.Start());
        RawClient c(ddns.Port());
        ASSERT_TRUE(c.Send(DdnsSim::Request("CAMERAS8-long")));
        std::vector<uint8_t> got;
        if (k.answered) {
            c.ReadUntil(got, [] { return false; });
            ASSERT_EQ(got.size(), 12u);
            const std::vector<uint8_t> magic = k.fault == DdnsFault::WrongMagic ? std::vector<uint8_t>{0xAA, 0x55, 0xAA, 0x55}
                                                                                 : std::vector<uint8_t>{0x55, 0xAA, 0x55, 0xAA};
            EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.begin() + 4), magic);
            EXPECT_EQ(std::vector<uint8_t>(got.begin() + 4, got.begin() + 8), (std::vector<uint8_t>{127, 0, 0, 1}));
            const int port = got[8] | got[9] << 8;
            if (k.fault == DdnsFault::WrongPort)
                EXPECT_NE(port, 0x1234);
            else
                EXPECT_EQ(port, 0x1234);
        } else {
            ASSERT_TRUE(ddns.WaitForQueries(1, kLimitMs));
            EXPECT_TRUE(c.Read(got, 200));
            EXPECT_TRUE(got.empty());
        }
        ASSERT_TRUE(ddns.WaitForQueries(1, kLimitMs));
        EXPECT_EQ(ddns.Queries()[0].name, "CAMERAS8");
        EXPECT_EQ(ddns.Queries()[0].answered, k.answered);
    }
}

TEST(DdnsSimAnswers, NothingForAnotherNameOrABadQuery) {
    DdnsSimOptions o;
    o.dvrPort = 9000;
    DdnsSim ddns(o);
    ASSERT_TRUE(ddns.Start());
    EXPECT_EQ(DdnsSim::Request("DVR"), (std::vector<uint8_t>{0x55, 0xAA, 0x55, 0xAA, 'D', 'V', 'R', 0, 0, 0, 0, 0}));
    for (const auto& request : {DdnsSim::Request("DVR001"), Bytes("GET / HTTP/1.0\r\n")}) {
        RawClient c(ddns.Port());
        ASSERT_TRUE(c.Send(request));
        std::vector<uint8_t> got;
        c.ReadUntil(got, [] { return false; });
        EXPECT_TRUE(got.empty());
        EXPECT_TRUE(c.Closed());
    }
    ASSERT_TRUE(ddns.WaitForQueries(2, kLimitMs));
    EXPECT_FALSE(ddns.Queries()[0].answered);
    EXPECT_TRUE(ddns.Queries()[0].wellFormed);
    EXPECT_FALSE(ddns.Queries()[1].wellFormed);
}

TEST(LiveStream, EncodedLoopDecodesAndStartsEveryCameraWithAKeyPicture) {
    LiveLoopOptions o;
    o.channels = 2;
    o.picturesPerChannel = 3;
    const auto loop = MakeLiveLoop(o);
    EXPECT_EQ(loop->picturePeriodUs, 33333);
    EXPECT_EQ(loop->durationUs, 6 * 33333);
    codec::CZoVdec decoder;
    decoder.Init(media::kVideoZON);
    std::vector<uint8_t> picture(codec::kMaxDecodedPictureBytes);
    int pictures = 0, sounds = 0;
    for (const LiveFrame& f : loop->frames) {
        if (f.kind == media::FrameKind::Sound) {
            ++sounds;
            EXPECT_EQ(f.bytes[3], 0xFA);
            continue;
        }
        EXPECT_EQ(f.key, pictures < 2);
        EXPECT_EQ(f.channel, pictures % 2);
        ASSERT_TRUE(decoder.ParseHeader(f.bytes.data(), f.bytes.size()));
        EXPECT_TRUE(decoder.DecodePicture(f.bytes.data(), f.bytes.size(), picture.data()));
        ++pictures;
    }
    EXPECT_EQ(pictures, 6);
    EXPECT_EQ(sounds, 2);  // 125 ms slots in 200 ms
}

TEST(LiveStream, RecordingPicturesAreRewrittenIntoTheLiveLayout) {
    Rng rng(3);
    PictureLayout l;
    l.videoCode = media::kVideoZOC;
    l.channel = 13;
    l.quantiser = 5;
    l.key = true;
    const auto code6 = MakeVideoFrame(l, rng);
    std::vector<uint8_t> live;
    ASSERT_TRUE(ToLivePicture(code6.data(), code6.size(), media::kVideoZOC, live));
    ASSERT_EQ(live.size(), code6.size() + 2);
    EXPECT_EQ(live[3], 0xF9);
    EXPECT_EQ(live[4], 0x80 | 5 << 3 | (13 & 7));
    EXPECT_EQ(std::vector<uint8_t>(live.begin() + 7, live.end()), std::vector<uint8_t>(code6.begin() + 5, code6.end()));
    media::VideoHeader h;
    EXPECT_TRUE(media::ParseVideoHeader(live.data(), live.size(), media::kVideoZON, h));
    EXPECT_TRUE(h.key);
    EXPECT_EQ(h.quantiser, 5);

    l.videoCode = media::kVideoZOT3;
    l.key = false;
    l.dual = true;
    const auto code5 = MakeVideoFrame(l, rng);
    ASSERT_TRUE(ToLivePicture(code5.data(), code5.size(), media::kVideoZOT3, live));
    EXPECT_EQ(live.size(), code5.size() + 1);  // byte B dropped
    EXPECT_EQ(live[3], 0xF8);
    EXPECT_EQ(live[4], 5 << 3 | (13 & 7));

    l.videoCode = media::kVideoZO4;
    l.channel = 3;
    l.key = true;
    const auto code0 = MakeVideoFrame(l, rng);
    ASSERT_TRUE(ToLivePicture(code0.data(), code0.size(), media::kVideoZO4, live));
    EXPECT_EQ(live[4], code0[4]);
    EXPECT_EQ(live[3], 0xF9);

    const uint8_t tooShort[5] = {0, 0, 1, 0xF9, 0x20};
    EXPECT_FALSE(ToLivePicture(tooShort, 5, media::kVideoZOC, live));
    const uint8_t sound[8] = {0, 0, 1, 0xFA, 0xFF, 0xFF, 1, 2};
    EXPECT_FALSE(ToLivePicture(sound, 8, media::kVideoZOC, live));
}

TEST(LiveStream, LoadsARecordingAsALoop) {
    const auto path = std::filesystem::temp_directory_path() / ("dvrsim-source-" + std::to_string(::getpid()) + ".ZRF");
    DemoOptions d;
    d.channels = 2;
    d.seconds = 1.0;
    d.audio = true;
    d.audioChannels = 2;
    d.realVideo = false;
    DemoStats stats;
    std::string error;
    ASSERT_TRUE(WriteRecordingFile(d, path.string(), stats, error)) << error;
    const auto loop = LoadLiveLoop(path.string(), media::kVideoZOC, false, 64u << 20, error);
    ASSERT_TRUE(loop) << error;

    media::CZoFile reader;
    ASSERT_TRUE(reader.Open(path.string(), false));
    std::vector<uint8_t> frame(media::kMaxFrameSize);
    size_t next = 0;
    int pictures = 0;
    reader.SetPosition(0);
    for (int n = reader.ReadNextFrame(frame); n > 0; n = reader.ReadNextFrame(frame)) {
        if (reader.IsAudio() && reader.Channel() != 0)
            continue;  // one audio channel goes live
        ASSERT_LT(next, loop->frames.size());
        const LiveFrame& f = loop->frames[next++];
        if (reader.IsAudio()) {
            ASSERT_EQ(f.kind, media::FrameKind::Sound);
            EXPECT_EQ(std::vector<uint8_t>(f.bytes.begin() + 6, f.bytes.end()),
                      std::vector<uint8_t>(frame.begin(), frame.begin() + n));
        } else {
            ASSERT_EQ(f.kind, media::FrameKind::Video);
            EXPECT_EQ(f.channel, reader.Channel());
            EXPECT_EQ(f.dueUs, pictures++ * loop->picturePeriodUs);
            EXPECT_EQ(f.bytes.size(), static_cast<size_t>(n) + 2);
        }
    }
    EXPECT_GE(next + 1, loop->frames.size());  // the reader may keep the last frame back
    EXPECT_GT(pictures, 10);
    EXPECT_EQ(LoadLiveLoop((path.string() + ".missing"), media::kVideoZOC, false, 1u << 20, error), nullptr);
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace zo::synth
