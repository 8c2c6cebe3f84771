#include "platform/core/processors.h"

#ifdef __linux__
#include <pthread.h>
#include <sched.h>
#endif

#ifdef __linux__

int current_processor() {
    return sched_getcpu();
}

void avoid_processor(int processor) {
    // The set the thread was given before it first changed its own.
    static thread_local const cpu_set_t allowed = [] {
        cpu_set_t set;
        CPU_ZERO(&set);
        if (sched_getaffinity(0, sizeof set, &set) != 0)
            CPU_ZERO(&set);
        return set;
    }();
    if (CPU_COUNT(&allowed) == 0)
        return;
    cpu_set_t set = allowed;
    if (processor >= 0 && processor < CPU_SETSIZE) {
        CPU_CLR(processor, &set);
        if (CPU_COUNT(&set) == 0)
            set = allowed;
    }
    pthread_setaffinity_np(pthread_self(), sizeof set, &set);
}

#else

int current_processor() {
    return -1;
}

void avoid_processor(int) {}

#endif
