// The receiver thread against a small peer on loopback that the test plays:
// login accepted and refused, several replies, silence and reconnection,
// logout, key commands, the DDNS exchange, control messages and the queues.
#include "net/CZoNetSource.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <system_error>

#include "LoopbackPeer.h"
#include "SplitterTestSupport.h"
#include "net/WireFormat.h"

namespace zo::net {
namespace {

using test::Connection;
using test::Listener;
using test::WaitUntil;

std::vector<uint8_t> Reply(int code, std::vector<int> fields = {}) {
    return test::ControlMessage(code, std::move(fields));
}

std::vector<uint8_t> LoginOf(std::string_view password) {
    const auto r = BuildLoginRequest(password);
    return {r.begin(), r.end()};
}

// A source pointed at `listener` with quick timeouts.
struct Fixture {
    platform::RecordingNotificationPort notes;
    CZoNetSource source{nullptr, &notes};
    Listener dvr;
    explicit Fixture(const std::string& password = "secret", uint32_t timeoutMs = 7000) {
        source.SetTimeout(timeoutMs);
        source.SetReplyWaitMs(100);
        source.SetDvrAddress("127.0.0.1", dvr.Port(), password);
    }
    // Accepts the connection, checks the login request, answers `reply`.
    Connection LogIn(const std::string& password, std::span<const uint8_t> reply) {
        Connection c = dvr.Accept();
        EXPECT_TRUE(c.Valid());
        EXPECT_EQ(c.Receive(kLoginRequestSize), LoginOf(password));
        EXPECT_TRUE(c.Send(reply));
        return c;
    }
    bool Ended() {
        return WaitUntil([&] { return source.GetConnectState() == Idle && notes.Count(WM_DVR_LOGIN_FAILED) == 1; });
    }
};

struct Receiver {
    std::vector<uint8_t> buffer = std::vector<uint8_t>(131072);
    media::CZoSample record;
    Receiver() {
        record.data = buffer.data();
        record.capacity = static_cast<uint32_t>(buffer.size());
    }
    std::vector<uint8_t> Bytes() const { return {buffer.begin(), buffer.begin() + record.length}; }
};

TEST(CZoNetSource, LogsInStreamsFramesSendsKeysAndLogsOut) {
    Fixture f;
    EXPECT_EQ(f.source.SendKey(1), 0);  // not logged in: nothing sent
    ASSERT_EQ(f.source.Start(), 1);
    EXPECT_EQ(f.source.Start(), 0);  // runs already
    EXPECT_EQ(f.source.SetDvrAddress("127.0.0.1", 1, "x"), 0);

    // The accepting reply and the first frames in one send.
    synth::Rng rng(1);
    const auto update = test::LivePicture(rng, false);
    const auto key = test::LivePicture(rng, true);
    const auto sound = test::SoundFrame(500);
    std::vector<uint8_t> bytes = Reply(kCodeLoginAccepted);
    test::Append(bytes, update);
    test::Append(bytes, Reply(8, {1, 2, 3, 4, 0xABCD}));
    test::Append(bytes, key);
    test::Append(bytes, sound);
    test::Append(bytes, Reply(6));
    test::Append(bytes, test::Terminator());
    Connection c = f.LogIn("secret", bytes);

    ASSERT_TRUE(WaitUntil([&] { return f.source.GetCounters().audioQueued == 1; }));
    EXPECT_EQ(f.source.IsLoggedIn(), 1);
    EXPECT_EQ(f.source.GetConnectState(), Online);
    Receiver r;
    auto& video = f.source.GetVideoQueue();
    EXPECT_TRUE(video.GetDataEvent().IsSet());
    ASSERT_EQ(video.GetSample(r.record), 1);
    EXPECT_EQ(r.Bytes(), update);
    EXPECT_EQ(r.record.time, (media::CalendarTime{2006, 1, 0, 1, 10, 0, 0, 0}));
    ASSERT_EQ(video.GetSample(r.record), 1);
    EXPECT_EQ(r.Bytes(), key);
    ASSERT_EQ(f.source.GetAudioQueue().GetSample(r.record), 1);
    EXPECT_EQ(r.Bytes(), std::vector<uint8_t>(sound.begin() + 6, sound.end()));
    EXPECT_EQ(r.record.time, media::CalendarTime{});

    uint16_t status[5];
    f.source.GetDvrStatus(status);
    EXPECT_EQ(status[0], 1);
    EXPECT_EQ(status[3], 4);
    EXPECT_EQ(status[4], 0xABCD);
    EXPECT_EQ(f.notes.Count(WM_DVR_STATUS), 1);
    EXPECT_EQ(f.notes.Posted().size(), 1u);  // message 6 is ignored

    // Message 7 replaces the fifth value only; 11 announces the drop.
    ASSERT_TRUE(c.Send(Reply(7, {0x0042})));
    ASSERT_TRUE(c.Send(Reply(11)));
    ASSERT_TRUE(WaitUntil([&] { return f.notes.Count(WM_DVR_DISCONNECTED) == 1; }));
    f.source.GetDvrStatus(status);
    EXPECT_EQ(status[0], 1);
    EXPECT_EQ(status[4], 0x42);
    EXPECT_EQ(f.notes.Count(WM_DVR_STATUS), 2);

    EXPECT_EQ(f.source.SendKey(21), 1);
    const auto keyCommand = BuildKeyCommand(21);
    EXPECT_EQ(c.Receive(kKeyCommandSize), std::vector<uint8_t>(keyCommand.begin(), keyCommand.end()));

    EXPECT_EQ(f.source.Stop(), 1);
    const auto logout = BuildLogout();
    EXPECT_EQ(c.Receive(kLogoutSize), std::vector<uint8_t>(logout.begin(), logout.end()));
    EXPECT_TRUE(c.WaitForClose());
    EXPECT_EQ(f.source.IsLoggedIn(), 0);
    EXPECT_EQ(f.source.GetConnectState(), Idle);
    EXPECT_EQ(f.source.SendKey(21), 0);
    const auto counts = f.source.GetCounters();
    EXPECT_EQ(counts.videoQueued, 2u);
    EXPECT_EQ(counts.logins, 1u);
    EXPECT_EQ(counts.bytesReceived, bytes.size() - 12 + 2 * 16 - 4);
}

TEST(CZoNetSource, RefusedLoginsEndTheThreadWithTheReasonText) {
    const std::vector<std::pair<std::vector<uint8_t>, std::string_view>> cases = {
        {Reply(2, {1}), "Too many client."},
        {Reply(2, {2}), "Incorrect password."},
        {Reply(4, {3}), "Bad network"},
        {Reply(4, {9}), "Unkown error."},
        {Reply(5), "LOGIN ERROR"},
        {{'H', 'T', 'T', 'P', '/', '1', '.', '0', ' ', '4', '0', '0'}, "LOGIN ERROR"},
    };
    for (const auto& [reply, text] : cases) {
        Fixture f("");
        ASSERT_EQ(f.source.Start(), 1);
        Connection c = f.LogIn("", reply);
        ASSERT_TRUE(f.Ended()) << text;
        EXPECT_EQ(f.source.GetLastErrorText(), text);
        EXPECT_EQ(f.source.IsLoggedIn(), 0);
        EXPECT_TRUE(c.WaitForClose());
        EXPECT_EQ(f.source.Start(), 0);  // ended, but Stop must come first
        f.source.Stop();
        EXPECT_EQ(f.notes.Posted().size(), 1u);
    }
}

TEST(CZoNetSource, RepliesInPiecesAndSeveralInOneReceive) {
    // A wait reply byte by byte, then wait and accept in one send with the
    // stream right behind: logged in, and the stream bytes are not lost.
    Fixture f;
    ASSERT_EQ(f.source.Start(), 1);
    Connection c = f.dvr.Accept();
    ASSERT_EQ(c.Receive(kLoginRequestSize), LoginOf("secret"));
    for (uint8_t b : Reply(kCodeLoginWait)) {
        ASSERT_TRUE(c.Send(std::span(&b, 1)));
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    EXPECT_EQ(f.source.GetConnectState(), LoggingIn);
    synth::Rng rng(2);
    const auto key = test::LivePicture(rng, true);
    std::vector<uint8_t> bytes = Reply(kCodeLoginWait);
    test::Append(bytes, Reply(kCodeLoginAccepted));
    test::Append(bytes, key);
    test::Append(bytes, test::Terminator());
    ASSERT_TRUE(c.Send(bytes));
    ASSERT_TRUE(WaitUntil([&] { return f.source.GetCounters().videoQueued == 1; }));
    EXPECT_EQ(f.source.IsLoggedIn(), 1);
    Receiver r;
    ASSERT_EQ(f.source.GetVideoQueue().GetSample(r.record), 1);
    EXPECT_EQ(r.Bytes(), key);
    EXPECT_TRUE(f.notes.Posted().empty());
}

TEST(CZoNetSource, NoAnswerFailsWithNoResponse) {
    // Silence after the request, and silence after a wait reply.
    for (bool wait : {false, true}) {
        Fixture f("secret", 300);
        ASSERT_EQ(f.source.Start(), 1);
        Connection c = f.dvr.Accept();
        ASSERT_EQ(c.Receive(kLoginRequestSize), LoginOf("secret"));
        if (wait) {
            ASSERT_TRUE(c.Send(Reply(kCodeLoginWait)));
        }
        ASSERT_TRUE(f.Ended());
        EXPECT_EQ(f.source.GetLastErrorText(), "No response from server.");
        f.source.Stop();
    }
}

TEST(CZoNetSource, RefusedConnectionsGiveTheSystemTextAndAreRetried) {
    int port = 0;
    {
        Listener gone;
        port = gone.Port();
    }  // closed: nothing listens there now
    platform::RecordingNotificationPort notes;
    CZoNetSource source(nullptr, &notes);
    source.SetDvrAddress("127.0.0.1", port, "secret");
    ASSERT_EQ(source.Start(), 1);
    const std::string refused = std::system_category().message(ECONNREFUSED);
    ASSERT_TRUE(WaitUntil([&] { return source.GetLastErrorText() == refused; }));
    EXPECT_EQ(source.GetConnectFailure(), ConnectFailure::Refused);
    EXPECT_FALSE(source.ConnectFailureWasDdns());
    // Still trying, and nothing posted: a failed connection is no failed login.
    ASSERT_TRUE(WaitUntil([&] { return source.GetCounters().connectFailures >= 2; }));
    EXPECT_TRUE(source.HasThread());
    EXPECT_EQ(source.IsLoggedIn(), 0);
    EXPECT_TRUE(notes.Posted().empty());
    const auto begin = std::chrono::steady_clock::now();
    source.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
    EXPECT_EQ(source.GetConnectState(), Idle);
}

TEST(CZoNetSource, AHostNameIsLookedUp) {
    Fixture f;
    f.source.SetDvrAddress("localhost", f.dvr.Port(), "pw");
    ASSERT_EQ(f.source.Start(), 1);
    Connection c = f.LogIn("pw", Reply(kCodeLoginAccepted));
    ASSERT_TRUE(WaitUntil([&] { return f.source.IsLoggedIn() == 1; }));
    EXPECT_EQ(f.source.GetConnectFailure(), ConnectFailure::None);
}

// An address that names no host says so, for the DVR and the DDNS server.
TEST(CZoNetSource, UnknownHostsAreNamedInTheErrorText) {
    struct Case {
        bool ddns;
        const char* host;
    };
    for (const Case& k : {Case{false, "nonexistent.invalid"}, Case{true, "ddns.example"}}) {
        SCOPED_TRACE(k.host);
        CZoNetSource source;
        if (k.ddns)
            source.SetDdnsAddress(k.host, 9000, "NAME", "pw");
        else
            source.SetDvrAddress(k.host, 9000, "pw");
        ASSERT_EQ(source.Start(), 1);
        ASSERT_TRUE(WaitUntil([&] { return source.GetConnectFailure() == ConnectFailure::HostNotFound; }));
        EXPECT_EQ(source.ConnectFailureWasDdns(), k.ddns);
        EXPECT_NE(source.GetLastErrorText().find(std::string("\"") + k.host + "\""), std::string::npos)
            << source.GetLastErrorText();
        EXPECT_EQ(source.IsLoggedIn(), 0);
        source.Stop();
    }
}

// The silence timeout is measured on the given clock: virtual time here, so
// the test decides when the stream has been silent too long.
TEST(CZoNetSource, SilenceLeadsToAReconnectionWithoutNotification) {
    platform::ManualClock clock(1000000);
    platform::RecordingNotificationPort notes;
    CZoNetSource source(&clock, &notes);
    Listener dvr;
    source.SetDvrAddress("127.0.0.1", dvr.Port(), "secret");
    source.SetReplyWaitMs(100);
    ASSERT_EQ(source.Start(), 1);

    Connection first = dvr.Accept();
    ASSERT_EQ(first.Receive(kLoginRequestSize), LoginOf("secret"));
    // A picture open when the connection goes is completed by the first
    // start code of the next stream.
    synth::Rng rng(3);
    const auto picture = test::LivePicture(rng, true);
    std::vector<uint8_t> bytes = Reply(kCodeLoginAccepted);
    test::Append(bytes, picture);
    ASSERT_TRUE(first.Send(bytes));
    ASSERT_TRUE(WaitUntil([&] { return source.GetCounters().bytesReceived == picture.size(); }));

    clock.Advance(7001 * 1000);  // one millisecond past the default timeout
    EXPECT_TRUE(first.WaitForClose());
    Connection second = dvr.Accept();
    ASSERT_TRUE(second.Valid());
    EXPECT_EQ(second.Receive(kLoginRequestSize), LoginOf("secret"));
    ASSERT_TRUE(second.Send(Reply(kCodeLoginAccepted)));
    ASSERT_TRUE(WaitUntil([&] { return source.GetCounters().logins == 2; }));
    ASSERT_TRUE(second.Send(test::Terminator()));
    ASSERT_TRUE(WaitUntil([&] { return source.GetCounters().videoQueued == 1; }));
    Receiver r;
    ASSERT_EQ(source.GetVideoQueue().GetSample(r.record), 1);
    EXPECT_EQ(r.Bytes(), picture);
    EXPECT_EQ(source.GetCounters().reconnections, 1u);
    EXPECT_TRUE(notes.Posted().empty());
    source.Stop();
}

TEST(CZoNetSource, StopDuringLoginIsQuickAndPostsNothing) {
    Fixture f;
    f.source.SetReplyWaitMs(5000);
    ASSERT_EQ(f.source.Start(), 1);
    Connection c = f.dvr.Accept();
    ASSERT_EQ(c.Receive(kLoginRequestSize), LoginOf("secret"));
    ASSERT_TRUE(WaitUntil([&] { return f.source.GetConnectState() == LoggingIn; }));
    const auto begin = std::chrono::steady_clock::now();
    f.source.Stop();
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(3));
    EXPECT_TRUE(c.WaitForClose());
    EXPECT_TRUE(f.notes.Posted().empty());
}

TEST(CZoNetSource, AFullQueueDropsFramesAndReceptionGoesOn) {
    Fixture f;
    ASSERT_EQ(f.source.Start(), 1);
    synth::Rng rng(4);
    std::vector<uint8_t> bytes = Reply(kCodeLoginAccepted);
    std::vector<std::vector<uint8_t>> pictures;
    for (int i = 0; i < 20; ++i) {
        pictures.push_back(test::LivePicture(rng, i == 0));
        test::Append(bytes, pictures.back());
    }
    test::Append(bytes, test::Terminator());
    Connection c = f.LogIn("secret", bytes);
    ASSERT_TRUE(WaitUntil([&] { return f.source.GetCounters().videoDroppedFull == 4; }));
    EXPECT_EQ(f.source.GetCounters().videoQueued, 16u);
    Receiver r;
    for (int i = 0; i < 16; ++i) {
        ASSERT_EQ(f.source.GetVideoQueue().GetSample(r.record), 1);
        EXPECT_EQ(r.Bytes(), pictures[i]);
    }
    // Room again: the short frame the terminator opened and the next
    // picture are queued.
    const auto next = test::LivePicture(rng, false);
    std::vector<uint8_t> more = next;
    test::Append(more, test::Terminator());
    ASSERT_TRUE(c.Send(more));
    ASSERT_TRUE(WaitUntil([&] { return f.source.GetCounters().videoQueued == 18; }));
    ASSERT_EQ(f.source.GetVideoQueue().GetSample(r.record), 1);
    EXPECT_EQ(r.Bytes(), test::Terminator());
    ASSERT_EQ(f.source.GetVideoQueue().GetSample(r.record), 1);
    EXPECT_EQ(r.Bytes(), next);
}

struct DdnsFixture : Fixture {
    Listener ddns;
    explicit DdnsFixture(const std::string& name = "DVR000") : Fixture("secret", 300) {
        source.SetDdnsAddress("127.0.0.1", ddns.Port(), name, "secret");
    }
    std::vector<uint8_t> Answer() const {
        const int port = dvr.Port();
        return {0x55, 0xAA, 0x55, 0xAA, 127, 0, 0, 1, static_cast<uint8_t>(port & 255), static_cast<uint8_t>(port >> 8),
                0x99};
    }
};

TEST(CZoNetSource, DdnsAnswerGivesTheDvrAddress) {
    DdnsFixture f("LONGDVRNAME");
    f.source.SetDvrAddress("192.0.2.1", 1, "x");  // replaced by the DDNS settings below
    f.source.SetDdnsAddress("127.0.0.1", f.ddns.Port(), "LONGDVRNAME", "secret");
    ASSERT_EQ(f.source.Start(), 1);
    Connection d = f.ddns.Accept();
    ASSERT_TRUE(d.Valid());
    const std::string expected = "\x55\xAA\x55\xAA" "LONGDVRN";
    EXPECT_EQ(d.Receive(kDdnsRequestSize), std::vector<uint8_t>(expected.begin(), expected.end()));
    const auto answer = f.Answer();
    ASSERT_TRUE(d.Send(std::span(answer).first(5)));  // in two pieces
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(d.Send(std::span(answer).subspan(5)));
    EXPECT_TRUE(d.WaitForClose());
    Connection c = f.LogIn("secret", Reply(kCodeLoginAccepted));
    ASSERT_TRUE(WaitUntil([&] { return f.source.IsLoggedIn() == 1; }));
    EXPECT_EQ(f.source.GetDvrHost(), "127.0.0.1");
    EXPECT_EQ(f.source.GetDvrPort(), f.dvr.Port());
    EXPECT_TRUE(f.notes.Posted().empty());
}

TEST(CZoNetSource, WrongShortOrMissingDdnsRepliesFail) {
    struct Case {
        std::vector<uint8_t> reply;
        bool close;
        std::string_view text;
    };
    const std::vector<Case> cases = {
        {{0x55, 0xAA, 0x55, 0xAB, 127, 0, 0, 1, 0, 0}, false, "DDNS LOGIN ERROR"},
        {{0x55, 0xAA, 0x55, 0xAA, 127, 0}, true, "DDNS LOGIN ERROR"},   // short, then closed
        {{0x55, 0xAA, 0x55, 0xAA, 127, 0}, false, "DDNS LOGIN ERROR"},  // short, then silent
        {{}, false, "No response from server."},
    };
    for (const Case& k : cases) {
        DdnsFixture f;
        ASSERT_EQ(f.source.Start(), 1);
        Connection d = f.ddns.Accept();
        ASSERT_EQ(d.Receive(kDdnsRequestSize).size(), kDdnsRequestSize);
        if (!k.reply.empty()) {
            ASSERT_TRUE(d.Send(k.reply));
        }
        if (k.close)
            d.Close();
        ASSERT_TRUE(f.Ended()) << k.text;
        EXPECT_EQ(f.source.GetLastErrorText(), k.text);
        f.source.Stop();
    }
}

}  // namespace
}  // namespace zo::net
