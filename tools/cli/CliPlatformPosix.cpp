#include "CliPlatform.h"

#include "StopSignal.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <cstring>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace cli_platform {

namespace {

// Echo off for as long as it lives, whatever ends the read.
class EchoOff {
public:
    EchoOff() {
        if (tcgetattr(STDIN_FILENO, &m_saved) != 0)
            return;
        termios quiet = m_saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        m_active = tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet) == 0;
    }
    ~EchoOff() {
        if (m_active)
            tcsetattr(STDIN_FILENO, TCSAFLUSH, &m_saved);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    termios m_saved{};
    bool m_active = false;
};

// A PIN is a few characters; a line longer than this is no PIN (or /dev/zero).
constexpr size_t kLongestLine = 256;

} // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
    return std::vector<std::string>(argv, argv + argc);
}

void PrepareConsole() {}

bool StdoutIsColourTerminal() {
    return isatty(STDOUT_FILENO) == 1;
}

bool StderrIsTerminal(bool& eraseEscape) {
    eraseEscape = true;
    return isatty(STDERR_FILENO) == 1;
}

size_t StderrColumns() {
    winsize size{};
    return ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

bool ReadSecretLine(const char* prompt, std::string& line, std::string& error) {
    const bool terminal = isatty(STDIN_FILENO) == 1;
    if (terminal) {
        std::fputs(prompt, stderr);
        std::fflush(stderr);
    }
    const EchoOff echoOff; // a no-op on anything but a terminal
    line.clear();
    for (;;) {
        char c = 0;
        const ssize_t got = read(STDIN_FILENO, &c, 1);
        if (got == 1 && c != '\n') {
            line += c;
            if (line.size() > kLongestLine) {
                error = "the line on standard input is too long for a PIN";
                return false;
            }
            continue;
        }
        if (got == 1 || (got == 0 && !line.empty()))
            break;
        if (got == 0) {
            error = "standard input ended before a PIN was given";
            return false;
        }
        if (errno == EINTR && !StopRequested())
            continue;
        error = errno == EINTR ? "stopped while waiting for the PIN" : std::strerror(errno);
        return false;
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return true;
}

bool LocalTimeOf(std::time_t time, std::tm& local) {
    return localtime_r(&time, &local) != nullptr;
}

} // namespace cli_platform
