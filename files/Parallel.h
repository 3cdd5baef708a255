#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <future>
#include <system_error>
#include <thread>
#include <vector>

// The CPU time the calling thread has used, in nanoseconds.
long long ThreadCpuNanos();

// How many requests wait at once where the first ones of a local volume show that each one
// waits for the disk, as on a cold cache or a disk that spins.
constexpr size_t kInFlightWhenWaiting = 32;

// Whether a stretch of work that took wall nanoseconds of which cpu on this thread, for count
// items, spent its time waiting for the system: a cold disk answers each look-up in tens of
// microseconds or more, a cached one in a few. Reading from a disk costs CPU time of its own
// (in a virtual machine, about as much as the wait), so a third of the time spent waiting is
// enough to tell.
inline bool WaitedForTheDisk(long long wall, long long cpu, size_t count) {
    return count > 0 && 2 * wall > 3 * cpu && wall / (long long)count > 20000;
}

// Runs work(i) for every i below n, spread over the machine's cores: look-ups of many
// files spend their time waiting on the system, one call after another, and the calls
// for different files do not wait on each other. work(i) must touch only what belongs to
// i. Small counts run on the calling thread, where a thread would cost more than it saves.
// inFlight, where given, is how many threads wait at once, whatever the cores: on a volume
// where each request waits for a round trip, many wait together for little more than one.
// Without it, where the calling thread's first items waited for the disk, more threads join.
template <typename Work> void ParallelFor(size_t n, const Work& work, size_t inFlight = 0) {
    const size_t kChunk = inFlight ? std::clamp<size_t>(n / (inFlight * 4), 1, 512) : 512;
    const size_t threads =
        inFlight
            ? std::min(inFlight, n)
            : std::min<size_t>({std::max(1u, std::thread::hardware_concurrency()), 8, n / kChunk});
    if (threads < 2) {
        for (size_t i = 0; i < n; ++i)
            work(i);
        return;
    }
    std::atomic<size_t> next{0};
    // Once the threads are many, the chunks are smaller, so that all of them have work.
    std::atomic<size_t> chunk{kChunk};
    const auto drain = [&] {
        for (size_t from, size; (from = next.fetch_add(size = chunk.load())) < n;)
            for (size_t i = from, to = std::min(n, from + size); i < to; ++i)
                work(i);
    };
    std::vector<std::thread> helpers;
    const auto add = [&](size_t count) {
        try {
            for (size_t t = 0; t < count; ++t)
                helpers.emplace_back(drain);
        } catch (const std::system_error&) {
            // No more threads to be had: those started and this one share the work.
        }
    };
    add(threads - 1);
    if (!inFlight) {
        const auto start = std::chrono::steady_clock::now();
        const long long cpu = ThreadCpuNanos();
        const size_t from = next.fetch_add(kChunk), to = std::min(n, from + kChunk);
        for (size_t i = from; i < to; ++i)
            work(i);
        const long long wall = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                   std::chrono::steady_clock::now() - start)
                                   .count();
        if (from < n && next.load() < n &&
            WaitedForTheDisk(wall, ThreadCpuNanos() - cpu, to - from)) {
            chunk = std::clamp<size_t>((n - next.load()) / (kInFlightWhenWaiting * 4), 1, 512);
            add(kInFlightWhenWaiting - threads);
        }
    }
    drain();
    for (std::thread& h : helpers)
        h.join();
}

// The same on other threads, while the calling one only reports how far they have come, every
// 50 ms: whatever one item does, the calling thread hears progress(done, n) answer in time.
// Once it answers false, stopped is set, the items not yet begun are skipped, and false comes
// back; work may watch stopped to end an item under way.
template <typename Work, typename Progress>
bool ParallelForReporting(size_t n, std::atomic<bool>& stopped, const Work& work,
                          const Progress& progress, size_t inFlight = 0) {
    if (!progress(0, n))
        return false;
    std::atomic<size_t> done{0};
    const auto each = [&](size_t i) {
        if (stopped.load(std::memory_order_relaxed))
            return;
        done.fetch_add(1, std::memory_order_relaxed);
        work(i);
    };
    std::promise<void> finished;
    std::future<void> over = finished.get_future();
    std::thread worker;
    try {
        worker = std::thread([&] {
            ParallelFor(n, each, inFlight);
            finished.set_value();
        });
    } catch (const std::system_error&) {
        ParallelFor(n, each, inFlight); // no thread to be had: the work here, reported at its end
        finished.set_value();
    }
    while (over.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
        if (!stopped && !progress(done.load(), n))
            stopped = true;
    if (worker.joinable())
        worker.join();
    if (!stopped && !progress(done.load(), n))
        stopped = true;
    return !stopped;
}
