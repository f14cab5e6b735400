#include "StandardStreams.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

bool CoverClosedStandardStreams() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1 || errno != EBADF)
            continue;
        // Not close-on-exec: a child started from here gets the same covered streams.
        const int opened = open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened < 0)
            return false;
        // The lower ones are open by now, so open() took this very number; dup2 is for a surprise.
        if (opened != fd) {
            const bool moved = dup2(opened, fd) == fd;
            close(opened);
            if (!moved)
                return false;
        }
    }
    return true;
}
