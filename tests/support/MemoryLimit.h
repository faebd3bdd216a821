#pragma once
// Makes a large allocation fail: for the child of a death test, whose address
// space is capped a little above what it already uses.

#include <cstddef>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

namespace KelvraTest {

// A sanitizer maps its own memory as it goes: under one the cap cannot work.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool canCapAddressSpace = false;
#else
constexpr bool canCapAddressSpace = true;
#endif

// Caps the address space of this process at its size now plus `extra` bytes.
inline bool capAddressSpace(std::size_t extra)
{
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    if (!(statm >> pages))
        return false;
    const rlim_t limit = pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) + extra;
    const rlimit cap{limit, limit};
    return ::setrlimit(RLIMIT_AS, &cap) == 0;
}

} // namespace KelvraTest
