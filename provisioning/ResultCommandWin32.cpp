// The command after a result on Windows: cmd /c in a job object of its own, so that a time limit ends
// everything it started, and closing the job at the end of the run ends what it left behind.
#include "ResultCommand.h"
#include "WideText.h"

#include <windows.h>

namespace provisioning {

namespace {

class OwnedHandle {
public:
    explicit OwnedHandle(HANDLE handle = nullptr) : m_handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~OwnedHandle() { Reset(); }
    OwnedHandle(const OwnedHandle&) = delete;
    OwnedHandle& operator=(const OwnedHandle&) = delete;
    HANDLE Get() const { return m_handle; }
    HANDLE* Out() { Reset(); return &m_handle; }
    void Reset() {
        if (m_handle != nullptr)
            CloseHandle(m_handle);
        m_handle = nullptr;
    }

private:
    HANDLE m_handle;
};

// The program's environment with the command's own variables after it; a later entry of a name wins
// in cmd as the block is read.
std::wstring EnvironmentBlock(const Environment& added) {
    std::wstring block;
    wchar_t* own = GetEnvironmentStringsW();
    for (const wchar_t* entry = own; entry != nullptr && *entry != L'\0'; entry += wcslen(entry) + 1) {
        bool replaced = false;
        for (const auto& [name, value] : added)
            replaced = replaced || _wcsnicmp(entry, wide_text::Utf8ToWide(name + "=").c_str(), name.size() + 1) == 0;
        if (!replaced)
            block.append(entry).push_back(L'\0');
    }
    if (own != nullptr)
        FreeEnvironmentStringsW(own);
    for (const auto& [name, value] : added)
        block.append(wide_text::Utf8ToWide(name + "=" + value)).push_back(L'\0');
    block.push_back(L'\0');
    return block;
}

std::string Reason(const char* what) {
    return std::string(what) + " (Windows error " + std::to_string(GetLastError()) + ")";
}

bool Start(const ResultCommand& command, HANDLE input, const Environment& environment, HANDLE job,
           PROCESS_INFORMATION& process, std::string& reason) {
    OwnedHandle output;
    if (!DuplicateHandle(GetCurrentProcess(), GetStdHandle(STD_ERROR_HANDLE), GetCurrentProcess(), output.Out(), 0,
                         TRUE, DUPLICATE_SAME_ACCESS))
        output.Reset(); // no standard error (a program without a console): its output goes nowhere
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output.Get();
    startup.hStdError = output.Get();
    std::wstring line = L"cmd.exe /c " + wide_text::Utf8ToWide(command.command);
    std::wstring block = EnvironmentBlock(environment);
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                        CREATE_SUSPENDED | CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, block.data(), nullptr,
                        &startup, &process)) {
        reason = Reason("cmd.exe");
        return false;
    }
    AssignProcessToJobObject(job, process.hProcess);
    ResumeThread(process.hThread);
    return true;
}

} // namespace

ResultCommandRun RunResultCommand(const ResultCommand& command, const std::string& input,
                                  const Environment& environment) {
    ResultCommandRun run;
    if (command.command.empty())
        return run;
    const ULONGLONG start = GetTickCount64();
    OwnedHandle job(CreateJobObjectW(nullptr, nullptr));
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    SetInformationJobObject(job.Get(), JobObjectExtendedLimitInformation, &limits, sizeof limits);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    OwnedHandle readEnd, writeEnd;
    if (job.Get() == nullptr || !CreatePipe(readEnd.Out(), writeEnd.Out(), &inherit, 65536)) {
        run.end = ResultCommandRun::End::NotStarted;
        run.reason = Reason("no job or pipe");
        return run;
    }
    SetHandleInformation(writeEnd.Get(), HANDLE_FLAG_INHERIT, 0);
    PROCESS_INFORMATION process{};
    if (!Start(command, readEnd.Get(), environment, job.Get(), process, run.reason)) {
        run.end = ResultCommandRun::End::NotStarted;
        return run;
    }
    OwnedHandle processHandle(process.hProcess), threadHandle(process.hThread);
    readEnd.Reset();
    // One JSON line fits the pipe's room; a command that never reads it holds nothing up.
    DWORD written = 0;
    WriteFile(writeEnd.Get(), input.data(), static_cast<DWORD>(input.size()), &written, nullptr);
    writeEnd.Reset();
    const DWORD limit = static_cast<DWORD>(command.timeout.count());
    if (WaitForSingleObject(processHandle.Get(), limit) != WAIT_OBJECT_0) {
        TerminateJobObject(job.Get(), 1);
        WaitForSingleObject(processHandle.Get(), INFINITE);
        run.end = ResultCommandRun::End::TimedOut;
    } else {
        DWORD code = 0;
        GetExitCodeProcess(processHandle.Get(), &code);
        run.end = ResultCommandRun::End::Exited;
        run.code = static_cast<int>(code);
    }
    run.seconds = static_cast<double>(GetTickCount64() - start) / 1000.0;
    return run; // closing the job ends what the command left running
}

} // namespace provisioning
