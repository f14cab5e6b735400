#include "StandardStreams.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

// A descriptor of the C runtime with no valid handle behind it: never opened, or an invalid standard
// handle at the start (-2 in the newer runtimes).
bool Closed(int fd) {
    const intptr_t handle = _get_osfhandle(fd);
    return handle == -1 || handle == -2;
}

// The Windows standard handle as well, for whatever asks the system rather than the runtime.
bool HandleClosed(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE;
}

} // namespace

bool CoverClosedStandardStreams() {
    const DWORD handles[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE};
    for (int fd = 0; fd <= 2; ++fd) {
        if (Closed(fd)) {
            const int opened = _open("NUL", fd == 0 ? _O_RDONLY : _O_WRONLY);
            if (opened < 0)
                return false;
            if (opened != fd) {
                const bool moved = _dup2(opened, fd) == 0;
                _close(opened);
                if (!moved)
                    return false;
            }
        }
        if (HandleClosed(handles[fd]) && !SetStdHandle(handles[fd], reinterpret_cast<HANDLE>(_get_osfhandle(fd))))
            return false;
    }
    return true;
}
