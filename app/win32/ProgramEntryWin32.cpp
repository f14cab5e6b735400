// The program's entry on Windows. --version and --help are answered before wx starts. ZK405.EXE is a
// GUI program, which gets no console of its own: the text goes to the standard output the caller
// redirected, else to the console of the command prompt it was started from.
#include "StandardStreams.h"
#include "StartRequest.h"

#include <wx/app.h>

#include <windows.h>

#include <cstdlib>
#include <string>

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

// False when there is nowhere to print (started from Explorer) or the write failed.
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

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int show) {
    const StartRequest request = ReadStartRequest(__argc, __argv);
    if (request != StartRequest::kWindows)
        return WriteToCaller(StartRequestText(request)) ? 0 : 1;
    // After the start request: a caller's console is found through the standard handles as they are.
    if (!CoverClosedStandardStreams())
        return 1;
    wxDISABLE_DEBUG_SUPPORT();
    // wx reads the command line itself, as its own WinMain would have it. No exception leaves here:
    // the port and its log are then given back by g_serialPort's end.
    try {
        return wxEntry(instance, previous, nullptr, show);
    } catch (...) {
        MessageBoxA(nullptr, "The program stopped after an unexpected failure.", "ZK405", MB_OK | MB_ICONERROR);
        return 1;
    }
}
