// Workers wait for a task by spinning for a while, since the next loop of a step follows within
// microseconds, and then block, so that a run's threads cost nothing between runs.
#include "step_workers.h"

#include <algorithm>
#include <bit>
#include <chrono>

#if defined(_WIN32)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <unistd.h>
#if defined(__linux__)
#include <sched.h>
#endif
#endif

namespace vuzizi::transient {

namespace {

// A waiting thread spins this many rounds before it yields its processor between checks,
constexpr int kBusyRounds = 2'000;
// and blocks once it has waited this long.
constexpr auto kSpinTime = std::chrono::milliseconds(2);
// Rounds between two readings of the clock while yielding.
constexpr int kClockRounds = 64;

// Waits until `done()` holds: spinning, then yielding; false once kSpinTime has passed without it.
template <class Done>
bool spin_until(Done done) {
    for (int i = 0; i < kBusyRounds; ++i)
        if (done()) return true;
    const auto until = std::chrono::steady_clock::now() + kSpinTime;
    for (;;) {
        for (int i = 0; i < kClockRounds; ++i) {
            if (done()) return true;
            std::this_thread::yield();
        }
        if (std::chrono::steady_clock::now() >= until) return done();
    }
}

int64_t this_process() {
#if defined(_WIN32)
    return static_cast<int64_t>(GetCurrentProcessId());
#else
    return static_cast<int64_t>(getpid());
#endif
}

}  // namespace

int32_t usable_processors() {
#if defined(_WIN32)
    DWORD_PTR process = 0, system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0)
        return static_cast<int32_t>(std::popcount(static_cast<uintptr_t>(process)));
#elif defined(__linux__)
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof(set), &set) == 0) return std::max(1, CPU_COUNT(&set));
#endif
    return std::max(1, static_cast<int32_t>(std::thread::hardware_concurrency()));
}

int32_t step_parts(int32_t requested, int64_t reaches) {
    if (requested > 0) return std::min(requested, kMaxStepParts);
    if (reaches < kPartedReaches) return 1;
    return std::min(usable_processors(), kMaxStepParts);
}

StepWorkers::StepWorkers(int32_t parts) : parts_(std::max(1, parts)), owner_(this_process()) {
    threads_->handles.reserve(static_cast<std::size_t>(parts_ - 1));
    try {
        for (int32_t part = 1; part < parts_; ++part) threads_->handles.emplace_back([this, part] { work(part); });
    } catch (...) {
        stop();  // the threads already started end before the failure goes on
        throw;
    }
}

StepWorkers::~StepWorkers() { stop(); }

void StepWorkers::stop() {
    if (this_process() != owner_) {
        // A forked child: the threads are the parent's. Their handles and what they block on are let
        // go as they are (joining a thread of another process may wait for ever, destroying a joinable
        // handle aborts, and so may destroying the condition variable they wait on).
        static_cast<void>(threads_.release());
        return;
    }
    stopping_.store(true);
    generation_.fetch_add(1);
    {
        std::lock_guard<std::mutex> lock(threads_->mutex);
    }
    threads_->wake.notify_all();
    for (std::thread& t : threads_->handles) t.join();
}

void StepWorkers::dispatch(Call call, void* task) {
    if (parts_ == 1) return call(task, 0);
    if (this_process() != owner_) {
        for (int32_t part = 0; part < parts_; ++part) call(task, part);
        return;
    }
    call_ = call;
    task_ = task;
    finished_.store(0, std::memory_order_relaxed);
    // Sequentially consistent, with the sleepers' count: a worker either sees the new generation
    // before it blocks, or is counted here and woken.
    generation_.fetch_add(1);
    if (sleeping_.load() > 0) {
        { std::lock_guard<std::mutex> lock(threads_->mutex); }
        threads_->wake.notify_all();
    }
    call(task, 0);
    const int32_t workers = parts_ - 1;
    while (!spin_until([&] { return finished_.load(std::memory_order_acquire) == workers; })) {
    }
}

void StepWorkers::work(int32_t part) {
    uint64_t seen = 0;
    for (;;) {
        auto handed_out = [&] { return generation_.load() != seen; };
        if (!spin_until(handed_out)) {
            std::unique_lock<std::mutex> lock(threads_->mutex);
            sleeping_.fetch_add(1);
            threads_->wake.wait(lock, handed_out);
            sleeping_.fetch_sub(1);
        }
        seen = generation_.load();
        if (stopping_.load()) return;
        call_(task_, part);
        finished_.fetch_add(1, std::memory_order_release);
    }
}

}  // namespace vuzizi::transient
