#pragma once
// Large pictures in fresh memory: the first writes into a new 4K picture fault thousands of
// 4 kB pages, which on some systems (virtual machines above all) costs more than the work that
// fills the picture. Asking for 2 MB pages before the first write makes that a handful of faults.

#include <cstddef>
#include <cstdint>

#ifdef __linux__
#include <sys/mman.h>
#endif

// Asks the system to back the whole 2 MB pages inside [data, data + bytes) with large pages. Only
// a hint: memory already in use keeps its pages, and where the system does not offer large pages
// nothing changes. Worth it only before the first write into freshly allocated memory.
inline void advise_large_pages(void* data, std::size_t bytes) {
#ifdef __linux__
    constexpr std::uintptr_t kLargePage = std::uintptr_t{2} << 20;
    if (bytes < 4 * kLargePage)
        return;
    const auto first = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t from = (first + kLargePage - 1) / kLargePage * kLargePage;
    const std::uintptr_t to = (first + bytes) / kLargePage * kLargePage;
    if (to > from)
        madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}
