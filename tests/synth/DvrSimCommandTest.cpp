// zrf dvr-sim as a process: its first lines name the ports, a client finds
// the DVR through the DDNS server, logs in, gets pictures of the --source
// recording in the live layout, sends a key and logs out, every step is
// printed, and SIGTERM ends it cleanly.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "media/RecordingFormat.h"
#include "support/RunProcess.h"
#include "synth/DemoRecording.h"
#include "synth/DdnsSim.h"
#include "synth/DvrSim.h"

extern char** environ;

namespace zo::synth {
namespace {

constexpr int64_t kLimitMs = 30000;

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// zrf dvr-sim as a child with its standard output on a pipe.
class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args) {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        std::vector<char*> argv;
        std::vector<std::string> all = {ZRF_BINARY, "dvr-sim"};
        all.insert(all.end(), args.begin(), args.end());
        for (std::string& a : all)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid_, ZRF_BINARY, &actions, nullptr, argv.data(), environ) != 0)
            pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        out_ = fds[0];
    }
    ~SimProcess() {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0)
            ::close(out_);
    }
    // Reads lines until one contains `text`; false at the end of output or the limit.
    bool WaitForLine(const std::string& text, std::string* line = nullptr) {
        const int64_t start = NowMs();
        for (;;) {
            for (size_t end; (end = pending_.find('\n')) != std::string::npos;) {
                std::string l = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                lines_.push_back(l);
                if (l.find(text) != std::string::npos) {
                    if (line)
                        *line = l;
                    return true;
                }
            }
            if (NowMs() - start > kLimitMs)
                return false;
            pollfd p{out_, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(out_, buffer, sizeof buffer);
            if (n <= 0)
                return false;
            pending_.append(buffer, static_cast<size_t>(n));
        }
    }
    // Sends SIGTERM and returns the exit status (-1 if it did not exit normally).
    int Terminate() {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    const std::vector<std::string>& Lines() const { return lines_; }
    bool Started() const { return pid_ > 0; }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string pending_;
    std::vector<std::string> lines_;
};

int Connect(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Reads until `count` bytes are in, the peer closes or the limit passes.
std::vector<uint8_t> ReadAtLeast(int fd, size_t count) {
    std::vector<uint8_t> got;
    const int64_t start = NowMs();
    while (got.size() < count && NowMs() - start < kLimitMs) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        uint8_t buffer[65536];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        got.insert(got.end(), buffer, buffer + n);
    }
    return got;
}

bool SendText(int fd, const std::string& message) {
    std::string bytes("\x00\x00\x01\xFE", 4);
    bytes += message;
    return ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

uint16_t PortOf(const std::string& line) {
    const size_t colon = line.find("127.0.0.1:");
    return colon == std::string::npos ? 0 : static_cast<uint16_t>(std::stoi(line.substr(colon + 10)));
}

TEST(ZrfDvrSim, FoundThroughDdnsStreamsTheSourceLogsEachStepAndEndsOnSigterm) {
    const auto dir = std::filesystem::temp_directory_path() / ("zrf-dvrsim-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const auto source = dir / "source.ZRF";
    DemoOptions d;
    d.seconds = 1.0;
    d.realVideo = false;
    DemoStats stats;
    std::string error;
    ASSERT_TRUE(WriteRecordingFile(d, source.string(), stats, error)) << error;

    SimProcess sim({"--password", "pw", "--ddns-port", "0", "--name", "CAM1", "--source", source.string(),
                    "--seconds", "120"});
    ASSERT_TRUE(sim.Started());
    std::string line;
    ASSERT_TRUE(sim.WaitForLine("dvr listening on", &line));
    const uint16_t dvrPort = PortOf(line);
    ASSERT_TRUE(sim.WaitForLine("ddns listening on", &line));
    const uint16_t ddnsPort = PortOf(line);
    ASSERT_NE(dvrPort, 0);
    ASSERT_NE(ddnsPort, 0);

    const int ddns = Connect(ddnsPort);
    ASSERT_GE(ddns, 0);
    const auto request = DdnsSim::Request("CAM1");
    ASSERT_EQ(::send(ddns, request.data(), request.size(), MSG_NOSIGNAL), 12);
    const auto answer = ReadAtLeast(ddns, 10);
    ::close(ddns);
    ASSERT_GE(answer.size(), 10u);
    EXPECT_EQ(answer[4], 127);
    EXPECT_EQ(answer[8] | answer[9] << 8, dvrPort);
    EXPECT_TRUE(sim.WaitForLine("query for 'CAM1' answered 127.0.0.1:" + std::to_string(dvrPort)));

    const int dvr = Connect(dvrPort);
    ASSERT_GE(dvr, 0);
    ASSERT_TRUE(SendText(dvr, "002C0081" + LoginDigest("pw")));
    const auto stream = ReadAtLeast(dvr, 12 + 32 + 200);
    ASSERT_GE(stream.size(), 12u + 32 + 200);
    EXPECT_EQ(std::string(stream.begin() + 4, stream.begin() + 12), "000C0003");
    // After message 8, the recording's first picture in the live layout.
    const uint8_t* first = stream.data() + 12 + 32;
    EXPECT_EQ(first[2], 1);
    EXPECT_EQ(first[3], 0xF9);
    EXPECT_EQ(first[4] & 0x80, 0x80);
    EXPECT_TRUE(sim.WaitForLine("login digest " + LoginDigest("pw") + " accepted"));

    ASSERT_TRUE(SendText(dvr, "00100085000D"));
    ASSERT_TRUE(SendText(dvr, "000C0086"));
    EXPECT_TRUE(sim.WaitForLine("key 13"));
    EXPECT_TRUE(sim.WaitForLine("logout"));
    EXPECT_TRUE(sim.WaitForLine("closed (after the logout)"));
    ::close(dvr);

    EXPECT_EQ(sim.Terminate(), 0);
    EXPECT_TRUE(sim.WaitForLine("stopped after sending"));
    std::filesystem::remove_all(dir);
}

TEST(ZrfDvrSim, HelpListsEveryFaultModeAndBadModesAreRefused) {
    const auto err = std::filesystem::temp_directory_path() / ("zrf-dvrsim-err-" + std::to_string(::getpid()));
    const auto help = test::RunProcess(std::string(ZRF_BINARY) + " dvr-sim --help", err);
    EXPECT_EQ(help.status, 0);
    for (DvrFault f : AllDvrFaults())
        EXPECT_NE(help.out.find("  " + std::string(DvrFaultName(f)) + ": "), std::string::npos) << DvrFaultName(f);
    for (DdnsFault f : AllDdnsFaults())
        EXPECT_NE(help.out.find("  " + std::string(DdnsFaultName(f)) + ": "), std::string::npos) << DdnsFaultName(f);

    const auto bad = test::RunProcess(std::string(ZRF_BINARY) + " dvr-sim --fault sideways --seconds 1", err);
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.err.find("unknown fault mode 'sideways'"), std::string::npos) << bad.err;
    const auto missing = test::RunProcess(std::string(ZRF_BINARY) + " dvr-sim --source /nonexistent.ZRF --seconds 1", err);
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("/nonexistent.ZRF"), std::string::npos) << missing.err;
    std::filesystem::remove(err);
}

}  // namespace
}  // namespace zo::synth
