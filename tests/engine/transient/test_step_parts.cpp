// Steps shared by threads: every part runs once per loop, whether the workers were spinning or
// asleep, and a run gives the same results, bit for bit, on any number of threads.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

#include "engine_session.h"
#include "step_workers.h"

#if !defined(_WIN32)
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace vuzizi::transient {
namespace {

using namespace testing;

TEST(StepWorkers, RunEveryPartOnceWhetherSpinningOrAsleep) {
    for (int32_t parts = 1; parts <= kMaxStepParts; ++parts) {
        StepWorkers workers(parts);
        std::array<std::atomic<int>, kMaxStepParts> calls{};
        int loops = 0;
        auto count = [&](int32_t part) { calls[static_cast<std::size_t>(part)].fetch_add(1); };
        for (int round = 0; round < 3; ++round) {
            for (int i = 0; i < 500; ++i, ++loops) workers.run(count);
            // Long enough for the workers to block: the next loop must wake them.
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            workers.run(count);
            ++loops;
        }
        for (int32_t k = 0; k < kMaxStepParts; ++k)
            EXPECT_EQ(calls[static_cast<std::size_t>(k)].load(), k < parts ? loops : 0) << parts << " parts";
    }
}

#if !defined(_WIN32)
// A child forked from a process with workers has none of them: its loops must still finish, every part
// run once, and letting the workers go must not wait for threads that are not there, whether they were
// spinning or asleep at the fork.
class ForkedWorkers : public ::testing::TestWithParam<int> {};

TEST_P(ForkedWorkers, AForkedChildRunsEveryPartItself) {
    auto workers = std::make_unique<StepWorkers>(3);
    auto none = [](int32_t) {};
    workers->run(none);
    std::this_thread::sleep_for(std::chrono::milliseconds(GetParam()));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(10);  // a hang ends the child by SIGALRM
        int calls[3] = {0, 0, 0};
        auto count = [&](int32_t part) { ++calls[part]; };
        workers->run(count);
        workers.reset();
        _exit(calls[0] == 1 && calls[1] == 1 && calls[2] == 1 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status)) << "the child did not finish: signal " << (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 0);
}

// Milliseconds between the last loop and the fork: the workers spin, then sleep.
INSTANTIATE_TEST_SUITE_P(Waits, ForkedWorkers, ::testing::Values(0, 50));
#endif

TEST(StepWorkers, PartsFollowThreadsOrTheNetworksSize) {
    EXPECT_EQ(step_parts(1, 1'000'000), 1);
    EXPECT_EQ(step_parts(3, 10), 3);  // asked for: even on a small network
    EXPECT_EQ(step_parts(kMaxStepParts + 5, 10), kMaxStepParts);
    EXPECT_EQ(step_parts(0, kPartedReaches - 1), 1);
    EXPECT_EQ(step_parts(0, kPartedReaches), std::min(usable_processors(), kMaxStepParts));
}

// Net3 with the demand of its largest junction, 109 (231.4 gpm), stopped at once, on `threads` threads:
// the heads of every junction named, in order.
std::vector<double> net3_heads(int32_t threads, const std::vector<std::string>& nodes) {
    std::ifstream in(std::string(TRANSIENT_TEST_DATA) + "/Net3.inp");
    std::stringstream text;
    text << in.rdbuf();
    std::string model = text.str();
    model.insert(model.rfind("[END]"), "[TRANSIENT]\nTHREADS " + std::to_string(threads) + "\n");
    EXPECT_EQ(load_model(write_model("net3_threads_" + std::to_string(threads), model)), 0);
    EXPECT_TRUE(VUZIZI_STATUS_OK(impose("109", NODE_MODE_DEMAND, {{0.0, 0.0}})));
    EXPECT_TRUE(VUZIZI_STATUS_OK(run(5.0f, 1)));
    std::vector<double> heads;
    for (const std::string& node : nodes) {
        const Curve c = read_curve(ELEMENT_NODE, 0, node);
        EXPECT_FALSE(c.values.empty()) << node;
        heads.insert(heads.end(), c.values.begin(), c.values.end());
    }
    return heads;
}

TEST(StepParts, ARunGivesTheSameResultsOnAnyNumberOfThreads) {
    open_engine();
    const std::vector<std::string> nodes = {"109", "10", "60", "167", "275"};
    const std::vector<double> one = net3_heads(1, nodes);
    ASSERT_FALSE(one.empty());
    for (int32_t threads = 2; threads <= kMaxStepParts; ++threads)
        EXPECT_TRUE(net3_heads(threads, nodes) == one) << threads << " threads";
}

}  // namespace
}  // namespace vuzizi::transient
