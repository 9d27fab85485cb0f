#include "run.hpp"

#include "pause.hpp"
#include "summation.hpp"

#include <pthread.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

constexpr char middle_text[] = "Main thread, the middle result m+n = %ld\n";
constexpr char final_text[] = "Main thread, the final result m+n = %ld\n\n";

long total()
{
    // Relaxed loads, for the reasons given where the sums are written.
    const std::int32_t n_now = n.load(std::memory_order_relaxed);
    const std::int32_t m_now = m.load(std::memory_order_relaxed);
    return static_cast<long>(n_now) + m_now;
}

// pthread_create reports a failed start as a number, not by throwing, so this
// path needs no memory, which may be just what ran out.
bool start(pthread_t& worker, void* (*routine)(void*))
{
    const int error = pthread_create(&worker, nullptr, routine, nullptr);
    if (error != 0) {
        // NOLINTNEXTLINE(concurrency-mt-unsafe): only the main thread calls strerror
        std::fprintf(stderr, "concurrent_sum: cannot start a worker thread: %s\n", std::strerror(error));
    }
    return error == 0;
}

// Buffered output can fail late: every print may land in the buffer, and only
// the flush at exit finds the disk full or the descriptor closed. So standard
// output is closed here, in one place, and a run whose lines did not all get
// out is never reported as a success. Returns whether every line got out.
// lost is the errno of a driver's line that failed, or 0: when the failing
// write was a worker's, its reason is in that thread's errno and cannot be told.
bool close_stdout(int lost)
{
    const bool had_error = std::ferror(stdout) != 0;
    if (std::fclose(stdout) != 0) {
        lost = errno;
    } else if (!had_error) {
        return true;
    }
    // NOLINTNEXTLINE(concurrency-mt-unsafe): only the main thread calls strerror
    const char* reason = lost != 0 ? std::strerror(lost) : "some output was not written";
    std::fprintf(stderr, "concurrent_sum: write error: %s\n", reason);
    return false;
}

} // namespace

bool run_summation(std::int32_t count)
{
    shorten_pauses();

    // Each handle is the driver's until the join below. A run that lacks a
    // worker prints no result: a total of one worker's sum would be wrong.
    pthread_t worker_m{};
    pthread_t worker_n{};
    if (!start(worker_m, calculate_m)) {
        close_stdout(0);
        return false;
    }
    if (!start(worker_n, calculate_n)) {
        pthread_join(worker_m, nullptr);
        close_stdout(0);
        return false;
    }

    // Counting down, so that not even the largest COUNT overflows the counter.
    // Once standard output has failed, every later line would be lost too, so
    // the driver prints no more: a large COUNT would take hours to lose.
    int lost = 0;
    for (std::int32_t left = count; left > 0 && std::ferror(stdout) == 0; --left) {
        pause_briefly();
        if (std::printf(middle_text, total()) < 0) {
            lost = errno;
        }
    }

    pthread_join(worker_m, nullptr);
    pthread_join(worker_n, nullptr);
    if (std::ferror(stdout) == 0 && std::printf(final_text, total()) < 0) {
        lost = errno;
    }
    return close_stdout(lost);
}
