#include "pause.hpp"

#include <sys/prctl.h>

#include <chrono>
#include <thread>

void shorten_pauses()
{
    // The kernel stretches every sleep by the thread's timer slack, 50 us by
    // default, which would turn each 5 us pause into 55 us or more. If the
    // kernel refuses the least slack, the pauses are only longer.
    prctl(PR_SET_TIMERSLACK, 1UL);
}

void pause_briefly()
{
    // Long enough for the kernel to let the other threads run between a
    // change to a sum and the line that reports it.
    constexpr std::chrono::microseconds pause_length{5};
    std::this_thread::sleep_for(pause_length);
}
