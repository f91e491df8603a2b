// zrf record end to end against the simulated DVR and DDNS server.
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/RunProcess.h"
#include "synth/DdnsSim.h"
#include "synth/DvrSim.h"

namespace {

namespace fs = std::filesystem;

class ZrfRecord : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("zo_record_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        zo::synth::DvrSimOptions options;
        options.password = "s3cret";
        options.acceptPauseMs = 0;
        options.loopOptions.picturesPerChannel = 6;
        options.loopOptions.keyEvery = 3;
        sim = std::make_unique<zo::synth::DvrSim>(options);
        ASSERT_TRUE(sim->Start()) << sim->Error();
    }
    void TearDown() override {
        sim->Stop();
        fs::remove_all(dir);
    }
    zo::test::ProcessResult Run(const std::string& args) {
        return zo::test::RunProcess(std::string(ZRF_BINARY) + " " + args, dir / "stderr.txt");
    }
    std::string Port() const { return std::to_string(sim->Port()); }

    fs::path dir;
    std::unique_ptr<zo::synth::DvrSim> sim;
};

TEST_F(ZrfRecord, RecordsALiveStreamIntoANamedFile) {
    const auto result = Run("record --host 127.0.0.1 --port " + Port() + " --password s3cret --out " + dir.string() +
                            " --seconds 2");
    ASSERT_EQ(result.status, 0) << result.err;
    const std::string path = result.out.substr(0, result.out.find('\n'));
    ASSERT_TRUE(fs::exists(path)) << result.out;
    // YYYYMMDD-HHMMSS.ZRF
    const std::string name = fs::path(path).filename().string();
    ASSERT_EQ(name.size(), 19u);
    EXPECT_EQ(name.substr(8, 1), "-");
    EXPECT_EQ(name.substr(15), ".ZRF");
    EXPECT_NE(result.err.find("pictures"), std::string::npos);
    const auto info = Run("info " + path + " --json");
    ASSERT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("\"damagedBlocks\": 0"), std::string::npos) << info.out;
    ASSERT_TRUE(sim->WaitForEvents(zo::synth::DvrEventKind::Logout, 1, 10000));
}

TEST_F(ZrfRecord, ThroughTheDdnsServer) {
    zo::synth::DdnsSimOptions options;
    options.name = "GATE1";
    options.dvrPort = sim->Port();
    zo::synth::DdnsSim ddns(options);
    ASSERT_TRUE(ddns.Start());
    const auto result = Run("record --ddns 127.0.0.1:" + std::to_string(ddns.Port()) +
                            " --name GATE1 --password s3cret --out " + dir.string() + " --seconds 1");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(fs::exists(result.out.substr(0, result.out.find('\n'))));
    ddns.Stop();
}

TEST_F(ZrfRecord, RefusalsAndUnreachableDvrsAreReported) {
    const auto refused = Run("record --host 127.0.0.1 --port " + Port() + " --password wrong --out " + dir.string() +
                             " --seconds 1");
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("Incorrect password."), std::string::npos) << refused.err;
    sim->Stop();
    // Nothing listens on the port, no such host, no DDNS server: each is said
    // at once (with the default 7 s timeout, not after its retries).
    struct Case {
        std::string args;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"--host 127.0.0.1 --port " + Port(), "cannot connect to the DVR at 127.0.0.1:" + Port() + ": Connection refused"},
        {"--host nonexistent.invalid --port 9000", "Cannot find the host \"nonexistent.invalid\""},
        {"--ddns 127.0.0.1:" + Port() + " --name GATE1",
         "cannot connect to the DDNS server 127.0.0.1:" + Port() + ": Connection refused"},
    };
    for (const Case& k : cases) {
        const auto begin = std::chrono::steady_clock::now();
        const auto failed = Run("record " + k.args + " --password s3cret --out " + dir.string() + " --seconds 1");
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(6)) << k.args;
        EXPECT_EQ(failed.status, 1) << k.args;
        EXPECT_NE(failed.err.find(k.text), std::string::npos) << failed.err;
    }
    const auto noFolder = Run("record --host 127.0.0.1 --port 1 --out " + (dir / "none").string());
    EXPECT_EQ(noFolder.status, 1);
    // Nothing was recorded by the failed attempts.
    int files = 0;
    for (const auto& entry : fs::directory_iterator(dir))
        files += entry.path().extension() == ".ZRF";
    EXPECT_EQ(files, 0);
}

// Bytes between frames that begin no frame are dropped, counted in the
// summary, and leave nothing a reader would take for sound of another channel.
TEST_F(ZrfRecord, GarbageBetweenFramesIsDroppedAndCounted) {
    zo::synth::DvrSimOptions options;
    options.password = "s3cret";
    options.acceptPauseMs = 0;
    options.fault = zo::synth::DvrFault::Garbage;
    options.loopOptions.picturesPerChannel = 6;
    options.loopOptions.keyEvery = 3;
    zo::synth::DvrSim noisy(options);
    ASSERT_TRUE(noisy.Start()) << noisy.Error();
    const auto result = Run("record --host 127.0.0.1 --port " + std::to_string(noisy.Port()) +
                            " --password s3cret --out " + dir.string() + " --seconds 2");
    noisy.Stop();
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find("were not part of any frame and were dropped"), std::string::npos) << result.err;
    const std::string path = result.out.substr(0, result.out.find('\n'));
    const auto frames = Run("frames " + path + " --json");
    ASSERT_EQ(frames.status, 0) << frames.err;
    std::istringstream lines(frames.out);
    int sound = 0;
    for (std::string line; std::getline(lines, line);) {
        if (line.find("\"kind\": \"audio\"") == std::string::npos)
            continue;
        ++sound;
        EXPECT_NE(line.find("\"channel\": 0,"), std::string::npos) << "garbage recorded as sound: " << line;
    }
    EXPECT_GT(sound, 0);
}

}  // namespace
