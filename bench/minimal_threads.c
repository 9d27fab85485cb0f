/* minimal_threads [PAUSES]: starts two threads, joins them and prints 16
 * short lines, the least that a run of concurrent_sum with COUNT 0 does. With
 * PAUSES, each thread first takes that many 5 us pauses, as each worker of
 * concurrent_sum takes five. */
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <time.h>

static long pauses;

static void* work(void* unused)
{
    const struct timespec pause = {0, 5000};

    (void)unused;
    for (long i = 0; i < pauses; ++i)
        nanosleep(&pause, NULL);
    return NULL;
}

int main(int argc, char* argv[])
{
    pthread_t first;
    pthread_t second;

    pauses = argc > 1 ? atol(argv[1]) : 0;
    prctl(PR_SET_TIMERSLACK, 1UL);
    if (pthread_create(&first, NULL, work, NULL) != 0)
        return 1;
    if (pthread_create(&second, NULL, work, NULL) != 0) {
        pthread_join(first, NULL);
        return 1;
    }
    pthread_join(first, NULL);
    pthread_join(second, NULL);
    for (int i = 1; i <= 16; ++i)
        printf("line %d\n", i);
    return 0;
}
