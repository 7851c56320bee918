// A child process that holds file locks while a test looks at what waits
// for them.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <sys/types.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace QzTest {

// A child that opens each file by name (with `flags`, made 0644 when they
// create it), holds its flock and pauses until it is killed; the child's
// id once every lock is held, -1 when one could not be taken.
inline pid_t HoldFlocks(const std::vector<std::string>& files, int flags = O_RDWR | O_CREAT)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        for (const std::string& file : files) {
            const int fd = ::open(file.c_str(), flags, 0644);
            if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
                ::_exit(1);
        }
        if (::write(ready[1], "x", 1) != 1)
            ::_exit(1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char byte = 0;
    const bool held = child > 0 && ::read(ready[0], &byte, 1) == 1;
    ::close(ready[0]);
    return held ? child : -1;
}

} // namespace QzTest
