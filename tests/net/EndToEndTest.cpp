// The network client CZoNetSource against the simulated DVR and DDNS server
// on loopback: login answers and their texts and notifications, the stream
// byte for byte through the queues, keys, status, the drop, reconnection
// after silence and reset, every fault mode, and a flood the consumer cannot
// keep up with. Every wait is bounded; nothing sleeps to make a point.
#include "net/CZoNetSource.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/Event.h"
#include "platform/NotificationPort.h"
#include "synth/DdnsSim.h"
#include "synth/DvrSim.h"

namespace zo {
namespace {

using net::CZoNetSource;
using synth::DvrEventKind;
using synth::DvrFault;
using synth::SentFrame;

constexpr int64_t kLimitMs = 30000;  // generous: the suite also runs under the sanitizers on 2 cores

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Bounded wait for a condition that another thread makes true.
template <typename Condition>
bool WaitUntil(Condition condition, int64_t limitMs = kLimitMs) {
    const int64_t start = NowMs();
    while (!condition()) {
        if (NowMs() - start > limitMs)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

struct Received {
    std::string md5;
    uint32_t length = 0;
    media::CalendarTime time;
};

// The live-view side: takes frames from both queues on its own thread, as
// the engine's worker does, and can be held back.
class Consumer {
public:
    Consumer(media::CZoOutputBuffer& video, media::CZoOutputBuffer& audio)
        : video_(video), audio_(audio), videoBuffer_(131072), audioBuffer_(8192) {
        thread_ = std::thread([this] { Run(); });
    }
    ~Consumer() { Finish(); }

    void Hold() { held_ = true; }
    void Release() {
        held_ = false;
        resume_.Set();
    }
    // Ends the thread, then takes whatever is still queued.
    void Finish() {
        if (!thread_.joinable())
            return;
        stop_.Set();
        thread_.join();
        while (Take(video_, videoBuffer_, video_received_) || Take(audio_, audioBuffer_, audio_received_)) {
        }
    }
    size_t VideoCount() const { return videoCount_.load(); }
    // Only after Finish.
    const std::vector<Received>& Video() const { return video_received_; }
    const std::vector<Received>& Audio() const { return audio_received_; }

private:
    bool Take(media::CZoOutputBuffer& queue, std::vector<uint8_t>& buffer, std::vector<Received>& into) {
        media::CZoSample record;
        record.data = buffer.data();
        record.capacity = static_cast<uint32_t>(buffer.size());
        if (!queue.GetSample(record))
            return false;
        into.push_back({synth::Md5Hex(record.data, record.length), record.length, record.time});
        return true;
    }
    void Run() {
        for (;;) {
            if (held_) {
                resume_.Reset();
                if (platform::WaitAny({&stop_, &resume_}, 100) == 0)
                    return;
                continue;
            }
            const int w = platform::WaitAny({&stop_, &video_.GetDataEvent(), &audio_.GetDataEvent()}, 100);
            if (w == 0)
                return;
            if (held_)
                continue;  // held while it waited
            // One of each kind per wake, so that a stream of pictures does
            // not starve the sound.
            if (w > 0 && Take(video_, videoBuffer_, video_received_))
                ++videoCount_;
            if (w > 0)
                Take(audio_, audioBuffer_, audio_received_);
        }
    }

    media::CZoOutputBuffer& video_;
    media::CZoOutputBuffer& audio_;
    std::vector<uint8_t> videoBuffer_;
    std::vector<uint8_t> audioBuffer_;
    std::vector<Received> video_received_;  // consumer thread until Finish
    std::vector<Received> audio_received_;
    std::atomic<size_t> videoCount_{0};
    std::atomic<bool> held_{false};
    platform::Event stop_;
    platform::Event resume_;
    std::thread thread_;
};

// How the frames a client queued compare with what the DVR sent, of one kind.
struct Comparison {
    size_t matched = 0;
    size_t foreign = 0;          // queued frames the DVR never sent
    size_t missing = 0;          // sent frames skipped between queued ones
    size_t missingOversize = 0;  // of them, frames longer than a frame may be
    size_t trailing = 0;         // sent frames after the last queued one (possibly dropped, possibly in flight)
    size_t trailingOversize = 0;
    int lastConnection = 0;      // connection of the last matched frame
};

// Walks the queued frames in order through the sent ones: each must be the
// next sent frame or a later one; the ones passed over are missing.
Comparison Compare(const std::vector<SentFrame>& sent, media::FrameKind kind, const std::vector<Received>& got) {
    std::vector<const SentFrame*> mine;
    for (const SentFrame& s : sent)
        if (s.kind == kind)
            mine.push_back(&s);
    Comparison c;
    size_t next = 0;
    for (const Received& r : got) {
        size_t j = next;
        while (j < mine.size() && mine[j]->deliveredMd5 != r.md5)
            ++j;
        if (j == mine.size()) {
            ++c.foreign;
            continue;
        }
        for (size_t k = next; k < j; ++k) {
            ++c.missing;
            c.missingOversize += mine[k]->oversize;
        }
        ++c.matched;
        c.lastConnection = mine[j]->connection;
        next = j + 1;
    }
    for (size_t k = next; k < mine.size(); ++k) {
        ++c.trailing;
        c.trailingOversize += mine[k]->oversize;
    }
    return c;
}

std::shared_ptr<const synth::LiveLoop> SharedLoop() {
    static const auto loop = [] {
        synth::LiveLoopOptions o;
        o.channels = 2;
        o.picturesPerChannel = 8;
        o.keyEvery = 4;
        o.realVideo = false;
        o.placeholderSliceBytes = 60;
        return synth::MakeLiveLoop(o);
    }();
    return loop;
}

synth::DvrSimOptions SimOptions(DvrFault fault = DvrFault::None) {
    synth::DvrSimOptions o;
    o.password = "secret";
    o.fault = fault;
    o.loop = SharedLoop();
    // Time for the client to take the accepting reply in a receive of its
    // own before the stream follows.
    o.acceptPauseMs = 250;
    return o;
}

// One client with its notifications and a consumer of its queues.
struct Client {
    platform::RecordingNotificationPort posts;
    CZoNetSource source{nullptr, &posts};
    Consumer consumer{source.GetVideoQueue(), source.GetAudioQueue()};

    bool ConnectTo(const synth::DvrSim& sim, const std::string& password = "secret") {
        return source.SetDvrAddress("127.0.0.1", sim.Port(), password) == 1 && source.Start() == 1;
    }
    bool WaitForFailure() {
        return WaitUntil([&] { return posts.Count(net::WM_DVR_LOGIN_FAILED) > 0; });
    }
    ~Client() {
        source.Stop();
        consumer.Finish();
    }
};

// The client stopped and its queues drained: every frame it queued is one
// the DVR sent, in order, and every frame missing between queued ones is
// accounted for by the counters: too long, or refused by a full queue (only
// when `flood`; otherwise the consumer keeps up and nothing is refused).
// Where the DVR reset connections, `resets` frames may have been cut short
// and frames it had sent may be lost with the connection.
void ExpectFaithful(Client& client, const synth::DvrSim& sim, bool flood = false, size_t resets = 0) {
    EXPECT_EQ(client.source.Stop(), 1);
    client.consumer.Finish();
    const auto sent = sim.SentFrames();
    const net::NetCounters n = client.source.GetCounters();
    const Comparison v = Compare(sent, media::FrameKind::Video, client.consumer.Video());
    const Comparison a = Compare(sent, media::FrameKind::Sound, client.consumer.Audio());
    EXPECT_EQ(v.matched + v.foreign, n.videoQueued);
    EXPECT_EQ(a.matched + a.foreign, n.audioQueued);
    EXPECT_LE(v.foreign + a.foreign, resets);
    EXPECT_GT(v.matched, 0u);
    EXPECT_GT(a.matched, 0u);
    // Frames after the last queued one may have been dropped too.
    EXPECT_GE(n.videoDroppedTooLong, v.missingOversize);
    EXPECT_LE(n.videoDroppedTooLong, v.missingOversize + v.trailingOversize);
    if (resets > 0)
        return;
    const size_t videoLost = v.missing - v.missingOversize;
    if (!flood) {
        EXPECT_EQ(n.videoDroppedFull, 0u);
        EXPECT_EQ(n.audioDroppedFull, 0u);
        EXPECT_EQ(videoLost, 0u) << "video lost";
        EXPECT_EQ(a.missing, 0u) << "sound lost";
        return;
    }
    EXPECT_GE(n.videoDroppedFull, videoLost) << "video lost beyond the full-queue drops";
    EXPECT_LE(n.videoDroppedFull, videoLost + v.trailing);
    EXPECT_GE(n.audioDroppedFull, a.missing) << "sound lost beyond the full-queue drops";
    EXPECT_LE(n.audioDroppedFull, a.missing + a.trailing);
}

TEST(EndToEnd, StreamsByteForByteWithKeysStatusAndLogout) {
    synth::DvrSim sim(SimOptions());
    ASSERT_TRUE(sim.Start()) << sim.Error();
    Client client;
    EXPECT_EQ(client.source.SendKey(1), 0);  // not logged in: nothing sent
    ASSERT_TRUE(client.ConnectTo(sim));
    ASSERT_TRUE(WaitUntil([&] { return client.source.IsLoggedIn() == 1; }));
    EXPECT_EQ(client.source.GetConnectState(), net::Online);
    ASSERT_TRUE(WaitUntil([&] { return client.consumer.VideoCount() >= 20; }));

    EXPECT_EQ(client.source.SendKey(21), 1);
    EXPECT_EQ(client.source.SendKey(1), 1);
    EXPECT_EQ(client.source.SendKey(300), 1);  // low 8 bits: 44
    ASSERT_TRUE(sim.WaitForEvents(DvrEventKind::Key, 3, kLimitMs));
    EXPECT_EQ(sim.Keys(), (std::vector<int>{21, 1, 44}));

    // Message 8 after the accept, then one of each on request.
    ASSERT_TRUE(WaitUntil([&] { return client.posts.Count(net::WM_DVR_STATUS) >= 1; }));
    const uint16_t values[5] = {0x0102, 3, 0xFFFF, 0, 7};
    sim.SendStatusValues(values);
    ASSERT_TRUE(WaitUntil([&] { return client.posts.Count(net::WM_DVR_STATUS) >= 2; }));
    uint16_t status[5] = {};
    client.source.GetDvrStatus(status);
    EXPECT_EQ(std::vector<uint16_t>(status, status + 5), std::vector<uint16_t>(values, values + 5));
    sim.SendStatusValue(0x00AB);
    ASSERT_TRUE(WaitUntil([&] { return client.posts.Count(net::WM_DVR_STATUS) >= 3; }));
    client.source.GetDvrStatus(status);
    EXPECT_EQ(status[4], 0x00AB);
    EXPECT_EQ(status[0], 0x0102);

    ExpectFaithful(client, sim);
    EXPECT_TRUE(sim.WaitForEvents(DvrEventKind::Logout, 1, kLimitMs));
    EXPECT_EQ(client.posts.Count(net::WM_DVR_LOGIN_FAILED), 0);
    EXPECT_EQ(client.posts.Count(net::WM_DVR_DISCONNECTED), 0);
    EXPECT_EQ(client.source.GetConnectState(), net::Idle);
    const Received& first = client.consumer.Video().front();
    EXPECT_EQ(first.time, (media::CalendarTime{2006, 1, 0, 1, 10, 0, 0, 0})) << first.time.dayOfWeek;
    // One login, with the digest of the password, and nothing the DVR did not understand.
    const auto events = sim.Events();
    EXPECT_EQ(sim.Count(DvrEventKind::Login), 1);
    EXPECT_EQ(sim.Count(DvrEventKind::BadRequest), 0);
    for (const auto& e : events) {
        if (e.kind == DvrEventKind::Login) {
            EXPECT_EQ(e.digest, synth::LoginDigest("secret"));
        }
    }
}

TEST(EndToEnd, WaitRepliesKeepTheClientWaitingUntilTheAccept) {
    synth::DvrSimOptions o = SimOptions();
    o.loginWaits = 2;
    o.loginWaitGapMs = 300;
    synth::DvrSim sim(o);
    ASSERT_TRUE(sim.Start());
    Client client;
    ASSERT_TRUE(client.ConnectTo(sim));
    ASSERT_TRUE(WaitUntil([&] { return client.source.IsLoggedIn() == 1; }));
    EXPECT_EQ(client.posts.Count(net::WM_DVR_LOGIN_FAILED), 0);
}

TEST(EndToEnd, RefusalsAndBadRepliesGiveTheirTextAndTheFailureNotification) {
    struct Case {
        DvrFault fault;
        const char* password;
        const char* text;
    };
    for (const Case& k : {Case{DvrFault::None, "wrong", "Incorrect password."},
                          Case{DvrFault::RefuseTooManyClients, "secret", "Too many client."},
                          Case{DvrFault::RefuseIncorrectPassword, "secret", "Incorrect password."},
                          Case{DvrFault::RefuseBadNetwork, "secret", "Bad network"},
                          Case{DvrFault::RefuseUnknownReason, "secret", "Unkown error."},
                          Case{DvrFault::WrongReplyStartCode, "secret", "LOGIN ERROR"}}) {
        SCOPED_TRACE(std::string(synth::DvrFaultName(k.fault)) + " " + k.password);
        synth::DvrSim sim(SimOptions(k.fault));
        ASSERT_TRUE(sim.Start());
        Client client;
        ASSERT_TRUE(client.ConnectTo(sim, k.password));
        ASSERT_TRUE(client.WaitForFailure());
        EXPECT_EQ(client.source.GetLastErrorText(), k.text);
        EXPECT_EQ(client.source.IsLoggedIn(), 0);
        EXPECT_TRUE(WaitUntil([&] { return client.source.GetConnectState() == net::Idle; }));
        EXPECT_EQ(client.posts.Count(net::WM_DVR_LOGIN_FAILED), 1);
        EXPECT_EQ(client.posts.Count(net::WM_DVR_STATUS), 0);
        EXPECT_EQ(client.source.Start(), 0);  // the ended thread must be stopped first
        EXPECT_EQ(client.source.Stop(), 1);
        EXPECT_EQ(sim.Count(DvrEventKind::Login), 1);
        EXPECT_EQ(sim.Count(DvrEventKind::Logout), 0);  // never logged in
        EXPECT_EQ(sim.SentCount(), 0u);
    }
}

TEST(EndToEnd, AnUnansweredLoginFailsWithNoResponse) {
    synth::DvrSim sim(SimOptions(DvrFault::NoLoginReply));
    ASSERT_TRUE(sim.Start());
    Client client;
    client.source.SetTimeout(300);
    client.source.SetReplyWaitMs(200);
    ASSERT_TRUE(client.ConnectTo(sim));
    ASSERT_TRUE(client.WaitForFailure());
    EXPECT_EQ(client.source.GetLastErrorText(), "No response from server.");
    EXPECT_EQ(sim.Count(DvrEventKind::Login), 1);
}

TEST(EndToEnd, StopEndsPromptlyWhileTheLoginGoesUnanswered) {
    synth::DvrSim sim(SimOptions(DvrFault::NoLoginReply));
    ASSERT_TRUE(sim.Start());
    Client client;
    ASSERT_TRUE(client.ConnectTo(sim));
    ASSERT_TRUE(sim.WaitForEvents(DvrEventKind::Login, 1, kLimitMs));
    const int64_t start = NowMs();
    EXPECT_EQ(client.source.Stop(), 1);
    EXPECT_LT(NowMs() - start, 5000);
    EXPECT_EQ(client.posts.Count(net::WM_DVR_LOGIN_FAILED), 0);
}

TEST(EndToEnd, SilenceLeadsToAQuietReconnectionWithNoFrameLost) {
    synth::DvrSimOptions o = SimOptions(DvrFault::Silence);
    o.faultAfterFrames = 15;
    synth::DvrSim sim(o);
    ASSERT_TRUE(sim.Start());
    Client client;
    client.source.SetTimeout(800);
    ASSERT_TRUE(client.ConnectTo(sim));
    ASSERT_TRUE(sim.WaitForEvents(DvrEventKind::Login, 3, kLimitMs));
    const size_t before = client.consumer.VideoCount();
    ASSERT_TRUE(WaitUntil([&] { return client.consumer.VideoCount() >= before + 5; }));
    EXPECT_GE(client.source.GetCounters().reconnections, 2u);
    EXPECT_GE(client.source.GetCounters().logins, 3u);
    // The frame left open by each silence is completed by the next stream.
    ExpectFaithful(client, sim);
    EXPECT_GE(Compare(sim.SentFrames(), media::FrameKind::Video, client.consumer.Video()).lastConnection, 3);
    for (const auto& e : sim.Events()) {
        if (e.kind == DvrEventKind::Login) {
            EXPECT_EQ(e.digest, synth::LoginDigest("secret"));
        }
    }
    EXPECT_EQ(client.posts.Count(net::WM_DVR_LOGIN_FAILED), 0);
    EXPECT_EQ(client.posts.Count(net::WM_DVR_DISCONNECTED), 0);
}

TEST(EndToEnd, ResetsLeadToReconnections) {
    synth::DvrSimOptions o = SimOptions(DvrFault::Reset);
    o.faultAfterFrames = 30;
    synth::DvrSim sim(o);
    ASSERT_TRUE(sim.Start());
    Client client;
    client.source.SetTimeout(800);
    ASSERT_TRUE(client.ConnectTo(sim));
    ASSERT_TRUE(sim.WaitForEvents(DvrEventKind::Reset, 2, kLimitMs));
    ASSERT_TRUE(sim.WaitForEvents(DvrEventKind::Login, 3, kLimitMs));
    const size_t before = client.consumer.VideoCount();
    ASSERT_TRUE(WaitUntil([&] { return client.consumer.VideoCount() >= before + 5; }));
    // A reset may cut the frame that was open short: that one frame each
    // time is not the DVR's.
    ExpectFaithful(client, sim, false, static_cast<size_t>(sim.Count(DvrEventKind::Reset)));
    EXPECT_GE(Compare(sim.SentFrames(), media::FrameKind::Video, client.consumer.Video()).lastConnection, 3);
    EXPECT_GE(client.source.GetCounters().reconnections, 2u);
}

TEST(EndToEnd, ControlMessageElevenNotifiesTheDrop) {
    synth::DvrSim sim(SimOptions());
    ASSERT_TRUE(sim.Start());
    Client client;
    ASSERT_TRUE(client.ConnectTo(sim));
    ASSERT_TRUE(WaitUntil([&] { return client.consumer.VideoCount() >= 3; }));
    sim.SendDrop();
    ASSERT_TRUE(WaitUntil([&] { return client.posts.Count(net::WM_DVR_DISCONNECTED) == 1; }));
    EXPECT_EQ(client.posts.Count(net::WM_DVR_LOGIN_FAILED), 0);
    ExpectFaithful(client, sim);
}

TEST(EndToEnd, DeliveryFaultsLeaveEveryFrameIntact) {
    for (DvrFault fault : {DvrFault::Slow, DvrFault::SplitStartCodes, DvrFault::Garbage, DvrFault::OverlongControl,
                           DvrFault::OversizeFrames}) {
        SCOPED_TRACE(std::string(synth::DvrFaultName(fault)));
        synth::DvrSimOptions o = SimOptions(fault);
        o.faultEveryFrames = 4;
        o.slowByteGapUs = 10;
        synth::DvrSim sim(o);
        ASSERT_TRUE(sim.Start());
        Client client;
        ASSERT_TRUE(client.ConnectTo(sim));
        ASSERT_TRUE(WaitUntil([&] { return client.consumer.VideoCount() >= 12; }));
        EXPECT_EQ(client.source.IsLoggedIn(), 1);
        const net::NetCounters n = client.source.GetCounters();
        if (fault == DvrFault::OverlongControl) {
            EXPECT_GE(n.controlTooLong, 2u);
        }
        if (fault == DvrFault::OversizeFrames) {
            EXPECT_GE(n.videoDroppedTooLong, 2u);
        }
        if (fault == DvrFault::Garbage) {
            EXPECT_GT(n.garbageBytes, 0u);
        }
        ExpectFaithful(client, sim);
        EXPECT_EQ(client.source.GetCounters().reconnections, 0u);
        EXPECT_EQ(client.posts.Count(net::WM_DVR_LOGIN_FAILED), 0);
    }
}

TEST(EndToEnd, AFloodFillsTheQueuesAndOnlyRefusedFramesAreLost) {
    synth::DvrSim sim(SimOptions(DvrFault::Flood));
    ASSERT_TRUE(sim.Start());
    Client client;
    client.consumer.Hold();
    ASSERT_TRUE(client.ConnectTo(sim));
    ASSERT_TRUE(WaitUntil([&] { return client.source.GetCounters().videoDroppedFull >= 50; }));
    EXPECT_EQ(client.source.GetCounters().videoQueued, static_cast<uint64_t>(CZoNetSource::kQueueSamples));
    client.consumer.Release();
    const size_t before = client.consumer.VideoCount();
    ASSERT_TRUE(WaitUntil([&] { return client.consumer.VideoCount() >= before + 100; }));
    ExpectFaithful(client, sim, true);
    const Comparison v = Compare(sim.SentFrames(), media::FrameKind::Video, client.consumer.Video());
    EXPECT_GE(v.missing, 50u);
    EXPECT_EQ(client.source.GetCounters().reconnections, 0u);
}

TEST(EndToEndDdns, TheAnswerLeadsToTheDvr) {
    synth::DvrSim sim(SimOptions());
    ASSERT_TRUE(sim.Start());
    synth::DdnsSimOptions d;
    d.name = "LONGNAME";  // the client cuts its longer name to these eight
    d.dvrPort = sim.Port();
    synth::DdnsSim ddns(d);
    ASSERT_TRUE(ddns.Start());
    Client client;
    ASSERT_EQ(client.source.SetDdnsAddress("127.0.0.1", ddns.Port(), "LONGNAME99", "secret"), 1);
    ASSERT_EQ(client.source.Start(), 1);
    ASSERT_TRUE(WaitUntil([&] { return client.source.IsLoggedIn() == 1; }));
    EXPECT_EQ(client.source.GetDvrPort(), sim.Port());
    EXPECT_EQ(client.source.GetDvrHost(), "127.0.0.1");
    ASSERT_TRUE(ddns.WaitForQueries(1, kLimitMs));
    ASSERT_EQ(ddns.Queries().size(), 1u);
    EXPECT_EQ(ddns.Queries()[0].name, "LONGNAME");
    EXPECT_TRUE(ddns.Queries()[0].answered);
    ASSERT_TRUE(WaitUntil([&] { return client.consumer.VideoCount() >= 5; }));
    ExpectFaithful(client, sim);
}

TEST(EndToEndDdns, BadAnswersFailOrKeepTrying) {
    synth::DvrSim sim(SimOptions());
    ASSERT_TRUE(sim.Start());
    struct Case {
        synth::DdnsFault fault;
        const char* name;
        const char* text;  // nullptr: no failure, the client keeps trying
    };
    for (const Case& k : {Case{synth::DdnsFault::WrongMagic, "DVR000", "DDNS LOGIN ERROR"},
                          Case{synth::DdnsFault::NoReply, "DVR000", "No response from server."},
                          Case{synth::DdnsFault::None, "OTHER", "DDNS LOGIN ERROR"},
                          Case{synth::DdnsFault::WrongPort, "DVR000", nullptr}}) {
        SCOPED_TRACE(std::string(synth::DdnsFaultName(k.fault)) + " " + k.name);
        synth::DdnsSimOptions d;
        d.dvrPort = sim.Port();
        d.fault = k.fault;
        synth::DdnsSim ddns(d);
        ASSERT_TRUE(ddns.Start());
        Client client;
        client.source.SetTimeout(300);
        client.source.SetReplyWaitMs(200);
        ASSERT_EQ(client.source.SetDdnsAddress("127.0.0.1", ddns.Port(), k.name, "secret"), 1);
        ASSERT_EQ(client.source.Start(), 1);
        ASSERT_TRUE(ddns.WaitForQueries(1, kLimitMs));
        if (k.text) {
            ASSERT_TRUE(client.WaitForFailure());
            EXPECT_EQ(client.source.GetLastErrorText(), k.text);
        } else {
            // The DVR is not where the answer says: connection attempts fail
            // and are repeated; the client never logs in and stops at once.
            ASSERT_TRUE(WaitUntil([&] { return client.source.GetDvrPort() != sim.Port(); }));
            EXPECT_EQ(client.source.IsLoggedIn(), 0);
            EXPECT_EQ(client.posts.Count(net::WM_DVR_LOGIN_FAILED), 0);
            const int64_t start = NowMs();
            EXPECT_EQ(client.source.Stop(), 1);
            EXPECT_LT(NowMs() - start, 5000);
        }
    }
    EXPECT_EQ(sim.Count(DvrEventKind::Connected), 0);
}

}  // namespace
}  // namespace zo
