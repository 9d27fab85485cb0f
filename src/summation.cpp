#include "summation.hpp"

#include "pause.hpp"

#include <cstdio>

std::atomic<std::int32_t> m{0};
std::atomic<std::int32_t> n{0};

namespace {

constexpr char m_progress_text[] = "Thread m, 1+..+%d = %ld\n";
constexpr char m_final_text[] = "Thread m, the final result = %ld\n\n";
constexpr char n_progress_text[] = "Thread n, 1+..+%d = %ld\n";
constexpr char n_final_text[] = "Thread n, the final result = %ld\n\n";

// 1 + 2 + 3 + 4 + 5, one term an iteration.
constexpr int last_term = 5;

// Every access to a sum is relaxed, and that is enough: no other data is
// handed from thread to thread through a sum; an atomic load always returns a
// whole value that the sum really held; and one thread's successive loads of a
// sum never see its single writer's stores out of order, so the driver's
// samples never go backwards. The driver's joins order its last reads after
// the workers' last stores.
//
// The texts are template arguments so that the compiler checks each format
// against its arguments.
template <std::atomic<std::int32_t>& sum, const auto& progress_text, const auto& final_text>
void* calculate()
{
    sum.store(0, std::memory_order_relaxed);
    for (int k = 1; k <= last_term; ++k) {
        // The worker is the sum's only writer, so a load and a store make a
        // safe update; a read-modify-write would guard against nobody.
        sum.store(sum.load(std::memory_order_relaxed) + k, std::memory_order_relaxed);
        // Between the addition and its report, so that the driver can catch
        // the new value before the line that shows it.
        pause_briefly();
        std::printf(progress_text, k, static_cast<long>(sum.load(std::memory_order_relaxed)));
    }
    std::printf(final_text, static_cast<long>(sum.load(std::memory_order_relaxed)));
    // Returning ends the thread. pthread_exit would unwind the stack, for which
    // glibc first loads libgcc_s, and aborts where memory is too short for it.
    return nullptr;
}

} // namespace

void* calculate_m(void* /*unused*/)
{
    return calculate<m, m_progress_text, m_final_text>();
}

void* calculate_n(void* /*unused*/)
{
    return calculate<n, n_progress_text, n_final_text>();
}
