#pragma once
// Opening a file that must be a plain file. A pipe, socket or device may keep
// an open or a read waiting for ever, also one put in the file's place after
// any check of its name: so the open itself does not wait, and what it opened
// is refused unless it is a regular file.

#include <cstdint>
#include <string>

#include <sys/types.h>

namespace Tavik {

struct PlainFile {
    int fd = -1; // the caller's to close; -1 when refused
    uint64_t size = 0; // when opened
    // The system's error number when the open failed for another reason than
    // what the name is (then 0).
    int error = 0;
    // Why it was refused: "a folder, not a file", "not a regular file" or the
    // system's words for `error`.
    std::string reason;
};

// Opens `path` with `flags` (O_RDONLY, O_RDWR, O_WRONLY | O_APPEND | O_CREAT,
// ...) without waiting, then keeps it only when fstat finds a regular file;
// the descriptor then waits on reads and writes as usual. Closed on exec.
PlainFile openPlainFile(const std::string& path, int flags, mode_t mode = 0666);

} // namespace Tavik
