#include "platform/core/processors.h"

#include <windows.h>

int current_processor() {
    return static_cast<int>(GetCurrentProcessorNumber());
}

void avoid_processor(int processor) {
    // The processors of the process (of its first group of 64, where its threads start).
    static const DWORD_PTR allowed = [] {
        DWORD_PTR process = 0, system = 0;
        return GetProcessAffinityMask(GetCurrentProcess(), &process, &system) ? process
                                                                              : DWORD_PTR{0};
    }();
    if (allowed == 0)
        return;
    DWORD_PTR mask = allowed;
    if (processor >= 0 && processor < 64) {
        const DWORD_PTR others = allowed & ~(DWORD_PTR{1} << processor);
        if (others != 0)
            mask = others;
    }
    SetThreadAffinityMask(GetCurrentThread(), mask);
}
