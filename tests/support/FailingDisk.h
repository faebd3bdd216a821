#pragma once
// A disk that fails, for the tests of what reads recordings: the reads of one
// file that touch a stretch of its bytes fail with an error number, as those
// of a failing disk do, and the reads of that file are counted. A test that
// uses this gets FailingDisk.cpp (in the test main's library) linked in,
// whose preadv() stands in for the C library's in the whole test program and
// hands every other read on to it.

#include <cstdint>
#include <string>

namespace KelvraTest::FailingDisk {

// Watches the file at `path` from now on (by its device and inode): its reads
// are counted, and those touching bytes [from, to) fail with `error` (none
// when it is 0). False when there is no such file.
bool watch(const std::string& path, uint64_t from = 0, uint64_t to = 0, int error = 0);
// Reads of the file watched since watch(), and the bytes they asked for.
uint64_t reads();
uint64_t bytesRead();
void stop();

// Watches a file for the scope it lives in.
class Watch {
public:
    explicit Watch(const std::string& path, uint64_t from = 0, uint64_t to = 0, int error = 0)
        : watching(watch(path, from, to, error))
    {
    }
    ~Watch() { stop(); }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

    const bool watching;
};

} // namespace KelvraTest::FailingDisk
