// Threads that share the large loops of a time step with the thread that runs it. A loop is split
// into parts; the first runs on the calling thread, the others on one worker each, and run() returns
// once every part is done. Each part writes its own range only, so results are the same, bit for
// bit, whatever the number of parts.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vuzizi::transient {

// Most parts a step is split into: beyond this the loops are too short per part to gain.
inline constexpr int32_t kMaxStepParts = 4;
// Networks below this many reaches run every step on one thread: a step takes a few microseconds,
// no more than handing it over would cost.
inline constexpr int64_t kPartedReaches = 20'000;

// Processors this process may run on (its affinity where the system tells it), at least 1.
int32_t usable_processors();

// The parts a run of `reaches` reaches takes when THREADS asks for `requested` (0: chosen here).
int32_t step_parts(int32_t requested, int64_t reaches);

class StepWorkers {
public:
    // Starts parts - 1 workers; std::system_error when the system gives no more threads.
    explicit StepWorkers(int32_t parts);
    ~StepWorkers();
    StepWorkers(const StepWorkers&) = delete;
    StepWorkers& operator=(const StepWorkers&) = delete;

    int32_t parts() const { return parts_; }

    // Calls task(part) for every part in [0, parts()) and returns when all have returned.
    template <class Task>
    void run(Task& task) {
        dispatch([](void* t, int32_t part) { (*static_cast<Task*>(t))(part); }, &task);
    }

private:
    using Call = void (*)(void*, int32_t);
    void dispatch(Call call, void* task);
    void stop();  // ends and joins the workers
    void work(int32_t part);

    int32_t parts_;
    // The process that started the workers: a child forked from it has none of them, so it runs every
    // part itself and never joins them.
    int64_t owner_;
    Call call_ = nullptr;
    void* task_ = nullptr;
    std::atomic<uint64_t> generation_{0};  // one more per task handed out
    std::atomic<int32_t> finished_{0};     // workers done with the current task
    std::atomic<int32_t> sleeping_{0};     // workers blocked on the wake-up
    std::atomic<bool> stopping_{false};
    // What the workers block on, and their handles: held apart, so that a forked child can let them go
    // without destroying them (a condition variable that had waiters at the fork waits for them for ever).
    struct Threads {
        std::mutex mutex;
        std::condition_variable wake;
        std::vector<std::thread> handles;
    };
    std::unique_ptr<Threads> threads_ = std::make_unique<Threads>();
};

}  // namespace vuzizi::transient
