#include "tests/support/FailingDisk.h"

#include <atomic>
#include <cerrno>

#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/uio.h>

namespace {

// Set before `watching`, read after it.
dev_t device = 0;
ino_t inode = 0;
uint64_t failFrom = 0, failTo = 0;
int failError = 0;
std::atomic<bool> watching{false};
std::atomic<uint64_t> counted{0};
std::atomic<uint64_t> bytes{0};

using Preadv = ssize_t (*)(int, const iovec*, int, off_t);

Preadv systemPreadv()
{
    static const auto next = reinterpret_cast<Preadv>(::dlsym(RTLD_NEXT, "preadv"));
    return next;
}

// The error the read of `size` bytes at `offset` from `fd` fails with, or 0.
int failureOf(int fd, uint64_t offset, uint64_t size)
{
    if (!watching.load(std::memory_order_acquire))
        return 0;
    struct stat info { };
    if (::fstat(fd, &info) != 0 || info.st_dev != device || info.st_ino != inode)
        return 0;
    counted.fetch_add(1);
    bytes.fetch_add(size);
    return failError != 0 && offset < failTo && offset + size > failFrom ? failError : 0;
}

} // namespace

extern "C" ssize_t preadv(int fd, const iovec* parts, int count, off_t offset)
{
    uint64_t size = 0;
    for (int i = 0; i < count; ++i)
        size += parts[i].iov_len;
    if (const int error = failureOf(fd, static_cast<uint64_t>(offset), size)) {
        errno = error;
        return -1;
    }
    return systemPreadv()(fd, parts, count, offset);
}

namespace KelvraTest::FailingDisk {

bool watch(const std::string& path, uint64_t from, uint64_t to, int error)
{
    stop();
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0)
        return false;
    device = info.st_dev;
    inode = info.st_ino;
    failFrom = from;
    failTo = to;
    failError = error;
    counted = 0;
    bytes = 0;
    watching.store(true, std::memory_order_release);
    return true;
}

uint64_t reads()
{
    return counted.load();
}

uint64_t bytesRead()
{
    return bytes.load();
}

void stop()
{
    watching.store(false, std::memory_order_release);
}

} // namespace KelvraTest::FailingDisk
