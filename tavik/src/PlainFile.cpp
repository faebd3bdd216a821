#include "Tavik/PlainFile.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tavik {

namespace {

const char* const kFolder = "a folder, not a file";
const char* const kNotRegular = "not a regular file";

PlainFile refused(int error, std::string reason)
{
    PlainFile file;
    file.error = error;
    file.reason = std::move(reason);
    return file;
}

PlainFile failed(int error)
{
    return refused(error, std::strerror(error));
}

} // namespace

PlainFile openPlainFile(const std::string& path, int flags, mode_t mode)
{
    const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, mode);
    if (fd < 0) {
        const int why = errno;
        // A folder opened for writing; a pipe without a reader, a socket or a
        // device without its driver opened without waiting.
        if (why == EISDIR)
            return refused(0, kFolder);
        if (why == ENXIO || why == ENODEV)
            return refused(0, kNotRegular);
        return failed(why);
    }
    struct stat info { };
    PlainFile file;
    if (::fstat(fd, &info) != 0)
        file = failed(errno);
    else if (S_ISDIR(info.st_mode))
        file = refused(0, kFolder);
    else if (!S_ISREG(info.st_mode))
        file = refused(0, kNotRegular);
    else if (const int status = ::fcntl(fd, F_GETFL); status < 0 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) < 0)
        file = failed(errno);
    if (!file.reason.empty()) {
        ::close(fd);
        return file;
    }
    file.fd = fd;
    file.size = static_cast<uint64_t>(info.st_size);
    return file;
}

} // namespace Tavik
