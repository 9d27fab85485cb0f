/* bare_sleeps N: N pauses of 5 us, taken as concurrent_sum takes them (the
 * least timer slack, then nanosleep) and nothing else, as the floor for the
 * cost of one of its middle lines. */
#include <stdlib.h>
#include <sys/prctl.h>
#include <time.h>

int main(int argc, char* argv[])
{
    const long count = argc > 1 ? atol(argv[1]) : 0;
    const struct timespec pause = {0, 5000};

    prctl(PR_SET_TIMERSLACK, 1UL);
    for (long i = 0; i < count; ++i)
        nanosleep(&pause, NULL);
    return 0;
}
