// Where a GUI program's text goes on Windows: to the standard output the caller redirected, else to
// the console of the command prompt it was started from.
#include "CallerConsole.h"

#include <windows.h>

namespace {

class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle) : m_handle(handle) {}
    ~OwnedHandle() {
        if (m_handle != INVALID_HANDLE_VALUE && m_handle != nullptr)
            CloseHandle(m_handle);
    }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HANDLE Get() const { return m_handle; }

private:
    HANDLE m_handle;
};

bool WriteAll(HANDLE out, const std::string& text) {
    DWORD written = 0;
    return WriteFile(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

} // namespace

bool WriteToCaller(const std::string& text) {
    const HANDLE redirected = GetStdHandle(STD_OUTPUT_HANDLE);
    if (redirected != nullptr && redirected != INVALID_HANDLE_VALUE)
        return WriteAll(redirected, text);
    if (!AttachConsole(ATTACH_PARENT_PROCESS))
        return false;
    const OwnedHandle console(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                          nullptr));
    const bool written = console.Get() != INVALID_HANDLE_VALUE && WriteAll(console.Get(), text);
    FreeConsole();
    return written;
}

