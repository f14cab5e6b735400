// zk405-sim: a ZK405 in configuration mode on a pseudo-terminal, for working on the configuration tool
// without the module. The tool opens the pseudo-terminal's far end (or a link to it) as its port.
//
// The process forks at start: the child owns the pseudo-terminal and makes it its controlling
// terminal, which needs a session of its own; the parent stays in the caller's session, so that
// Ctrl+C and kill reach it, hands those on to the child and exits with the child's status.
#include "Cp1250.h"
#include "EscapedText.h"
#include "FileSizeSignal.h"
#include "SimulatedModule.h"
#include "StopSignal.h"
#include "ToolOptions.h"
#include "ZK405Version.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <fcntl.h>
#include <iostream>
#include <memory>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// 0 and 1 as every tool has them (tool_options).
constexpr int kExitStopped = tool_options::kExitSuccess;
constexpr int kExitNotStarted = 2;
// How long the loop may sleep before it looks at the stop flag and the parent again.
constexpr int kIdlePollMs = 200;
// How long the loop waits while no one has the port open (the master then reports a hang-up at once).
constexpr int kHangupPollMs = 20;

constexpr int kMaxModules = 64;

constexpr const char* kDescription =
    "Plays a ZK405 Bluetooth module in configuration mode on a pseudo-terminal (or several). The first\n"
    "lines on stdout are the paths of the ports to open, one per module (flushed at once); SIGINT,\n"
    "SIGTERM or SIGHUP stop it.";

constexpr const char* kFooter =
    "With --count above 1, each module's link and transcript get its number (from 0) appended:\n"
    "--count 3 --link /dev/rfcomm gives /dev/rfcomm0 to /dev/rfcomm2 (com97 to com99).\n"
    "\n"
    "Replies: \"AT+BNAME?\" gets \"+BNAME=<name>\\r\\nOK\\r\\n\"; \"AT+BNAME=\", \"AT+BPIN=\",\n"
    "\"AT+BFLOW=\" (0-3) and \"AT+BSEC=\" (1, 2) get \"OK\\r\\n\" and are remembered; an unknown\n"
    "command or value gets \"ERROR\\r\\n\". Commands end with CR LF.\n"
    "\n"
    "Exit status:\n"
    "  0  stopped by SIGINT, SIGTERM or SIGHUP\n"
    "  1  bad usage\n"
    "  2  could not start (no pseudo-terminal, the link or the transcript refused), or an\n"
    "     unexpected failure";

struct Options {
    std::string name = "ZK405";
    std::string link;
    std::string transcript;
    int lateMs = 0;
    int count = 1;
    SimulatedModule::Quirks quirks;
};

// Nothing to go on, otherwise the exit status.
std::optional<int> ParseOptions(int argc, char** argv, Options& options) {
    CLI::App app{kDescription, "zk405-sim"};
    app.set_version_flag("--version", "zk405-sim " ZK405_VERSION_STRING);
    app.footer(kFooter);
    // An option given twice counts once, with its last value.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

    std::string name = options.name;
    app.add_option("--name", name, "the module's name at start (UTF-8, held as Windows-1250), default ZK405");
    app.add_option("--count", options.count,
                   "play N modules (1 to " + std::to_string(kMaxModules) + "), each on a port of its own, default 1")
        ->type_name("N")
        ->transform(tool_options::DecimalIn(1, kMaxModules));
    app.add_option("--link", options.link,
                   "also make PATH a symbolic link to the port, removed at exit (an existing\n"
                   "link is replaced, any other file is left alone and the start fails)")
        ->type_name("PATH");
    app.add_flag("--silent", options.quirks.silent, "never answer");
    app.add_option("--reply-delay-ms,--late-ms", options.lateMs,
                   "answer N milliseconds after the command arrived, as a real module does")
        ->type_name("N")
        ->transform(tool_options::DecimalIn(0, 3600000));
    app.add_option("--refuse", options.quirks.refusedPrefixes,
                   "answer \"ERROR\" to commands that start with PREFIX and keep the setting\n"
                   "(may be given more than once)")
        ->type_name("PREFIX")
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false);
    app.add_flag("--no-cr", options.quirks.noCr, "end the lines of the name reply with LF alone");
    app.add_flag("--echo", options.quirks.echo, "repeat each command, with its CR LF, before the reply");
    app.add_option("--flood", options.quirks.floodBytes, "send N filler bytes ('#') ahead of every reply")
        ->type_name("N")
        ->transform(tool_options::DecimalIn(0, 1 << 24));
    app.add_option("--transcript", options.transcript,
                   "append each command received as \"<ms since start> <command>\", with\n"
                   "the command escaped (\\r \\n \\t \\\\ \\xHH), one flushed line each")
        ->type_name("FILE");

    if (const std::optional<int> status = tool_options::Parse(app, argc, argv, std::cout, std::cerr))
        return status;
    const cp1250::Encoded encoded = cp1250::Utf8ToCp1250(name);
    if (encoded.unrepresentable > 0)
        std::fprintf(stderr, "zk405-sim: %zu character(s) of the name have no Windows-1250 form, sent as '%c'\n",
                     encoded.unrepresentable, cp1250::kReplacement);
    options.name = encoded.bytes;
    return std::nullopt;
}

// Owns the descriptors and the link so that every way out of the child gives them back.
class PseudoTerminalModule {
public:
    ~PseudoTerminalModule() {
        if (!m_link.empty()) {
            char target[4096];
            const ssize_t n = readlink(m_link.c_str(), target, sizeof target - 1);
            // Only our own link: another copy may have taken the path over since.
            if (n > 0 && m_slavePath.compare(0, std::string::npos, target, static_cast<size_t>(n)) == 0)
                unlink(m_link.c_str());
        }
        if (m_transcript != nullptr)
            std::fclose(m_transcript);
        if (m_slave >= 0)
            close(m_slave);
        if (m_master >= 0)
            close(m_master);
    }

    bool Open(bool controlling) {
        m_master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
            return Fail("cannot create a pseudo-terminal");
        const char* name = ptsname(m_master);
        if (name == nullptr)
            return Fail("cannot name the pseudo-terminal");
        m_slavePath = name;
        // Opened only to set the line up: as our controlling terminal the device cannot become anyone
        // else's. It is not kept open, since the tool refuses a port another program holds open;
        // while no one has it open the master reports a hang-up, which the loop waits out.
        m_slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_slave < 0)
            return Fail("cannot open the pseudo-terminal's port side");
        if (controlling && ioctl(m_slave, TIOCSCTTY, 0) != 0)
            std::fprintf(stderr, "zk405-sim: the port is not our controlling terminal: %s\n",
                         std::strerror(errno));
        termios raw{};
        if (tcgetattr(m_slave, &raw) != 0)
            return Fail("cannot read the line settings");
        cfmakeraw(&raw);
        if (tcsetattr(m_slave, TCSANOW, &raw) != 0)
            return Fail("cannot make the line raw");
        close(m_slave);
        m_slave = -1;
        if (fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK) != 0)
            return Fail("cannot make the line non-blocking");
        return true;
    }

    bool MakeLink(const std::string& link) {
        struct stat st {};
        if (lstat(link.c_str(), &st) == 0) {
            if (!S_ISLNK(st.st_mode))
                return Fail(link + " exists and is no symbolic link; left alone");
            unlink(link.c_str());
        }
        if (symlink(m_slavePath.c_str(), link.c_str()) != 0)
            return Fail("cannot link " + link);
        m_link = link;
        return true;
    }

    bool OpenTranscript(const std::string& path) {
        m_transcript = std::fopen(path.c_str(), "a");
        return m_transcript != nullptr || Fail("cannot open the transcript " + path);
    }

    void Record(Clock::time_point arrival, const std::string& command) {
        if (m_transcript == nullptr)
            return;
        const double ms = std::chrono::duration<double, std::milli>(arrival - m_start).count();
        std::fprintf(m_transcript, "%.3f %s\n", ms, EscapeBytes(command).c_str());
        std::fflush(m_transcript);
    }

    const std::string& SlavePath() const { return m_slavePath; }
    const std::string& Link() const { return m_link; }
    int Master() const { return m_master; }

private:
    bool Fail(const std::string& what) {
        std::fprintf(stderr, "zk405-sim: %s: %s\n", what.c_str(), std::strerror(errno));
        return false;
    }

    int m_master = -1;
    int m_slave = -1;
    std::string m_slavePath;
    std::string m_link;
    std::FILE* m_transcript = nullptr;
    Clock::time_point m_start = Clock::now();
};

struct PendingReply {
    Clock::time_point due;
    std::string bytes;
};

// One module on its line, with the replies it still owes and the bytes the tool has not taken yet.
struct ModuleLine {
    explicit ModuleLine(const Options& options) : module(options.name, options.quirks) {}

    PseudoTerminalModule line;
    SimulatedModule module;
    std::deque<PendingReply> replies; // due times only grow, the delay being fixed
    std::string outgoing;
    // While no one has the port open its master reports a hang-up at every poll; such a line sits out
    // of the poll until then, so it neither spins the loop nor holds up the other modules' replies.
    Clock::time_point idleUntil{};
};

// The path for module index of count: the path itself for a single module, numbered otherwise.
std::string Numbered(const std::string& path, int index, int count) {
    return count == 1 || path.empty() ? path : path + std::to_string(index);
}

int MillisecondsUntil(Clock::time_point when, Clock::time_point now) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(when - now).count();
    return static_cast<int>(std::clamp<long long>(ms, 0, kIdlePollMs));
}

// Moves due replies to the line and writes what the line takes; returns the poll timeout the next due
// reply allows.
int Deliver(ModuleLine& m, Clock::time_point now, int timeout) {
    while (!m.replies.empty() && m.replies.front().due <= now) {
        m.outgoing += m.replies.front().bytes;
        m.replies.pop_front();
    }
    while (!m.outgoing.empty()) {
        const ssize_t n = write(m.line.Master(), m.outgoing.data(), m.outgoing.size());
        if (n <= 0)
            break; // the tool is not reading: the rest waits for POLLOUT
        m.outgoing.erase(0, static_cast<size_t>(n));
    }
    if (!m.replies.empty())
        timeout = std::min(timeout, MillisecondsUntil(m.replies.front().due, now));
    return timeout;
}

void Take(ModuleLine& m, const Options& options) {
    char buffer[4096];
    const ssize_t n = read(m.line.Master(), buffer, sizeof buffer);
    if (n <= 0)
        return;
    const Clock::time_point arrival = Clock::now();
    for (SimulatedModule::Exchange& exchange : m.module.Receive(std::string_view(buffer, static_cast<size_t>(n)))) {
        m.line.Record(arrival, exchange.command);
        if (!exchange.reply.empty())
            m.replies.push_back({arrival + std::chrono::milliseconds(options.lateMs), std::move(exchange.reply)});
    }
}

int RunModules(const Options& options, pid_t supervisor) {
    setsid();

    std::vector<std::unique_ptr<ModuleLine>> modules;
    for (int i = 0; i < options.count; ++i) {
        auto m = std::make_unique<ModuleLine>(options);
        const std::string link = Numbered(options.link, i, options.count);
        const std::string transcript = Numbered(options.transcript, i, options.count);
        // Only the first line can be the session's controlling terminal.
        if (!m->line.Open(i == 0) || (!link.empty() && !m->line.MakeLink(link)) ||
            (!transcript.empty() && !m->line.OpenTranscript(transcript)))
            return kExitNotStarted;
        modules.push_back(std::move(m));
    }
    for (const auto& m : modules) {
        std::printf("%s\n", m->line.SlavePath().c_str());
        std::fprintf(stderr, "zk405-sim: module \"%s\" on %s%s%s\n", cp1250::Cp1250ToUtf8(options.name).c_str(),
                     m->line.SlavePath().c_str(), m->line.Link().empty() ? "" : ", linked at ",
                     m->line.Link().c_str());
    }
    std::fflush(stdout);

    std::vector<pollfd> polled(modules.size());
    while (!StopRequested() && getppid() == supervisor) {
        const Clock::time_point now = Clock::now();
        int timeout = kIdlePollMs;
        for (size_t i = 0; i < modules.size(); ++i) {
            ModuleLine& m = *modules[i];
            timeout = Deliver(m, now, timeout);
            const bool idle = m.idleUntil > now;
            if (idle)
                timeout = std::min(timeout, MillisecondsUntil(m.idleUntil, now));
            // A negative descriptor is left out by poll.
            polled[i] = {idle ? -1 : m.line.Master(), static_cast<short>(POLLIN | (m.outgoing.empty() ? 0 : POLLOUT)), 0};
        }
        if (poll(polled.data(), polled.size(), timeout) <= 0)
            continue;
        const Clock::time_point after = Clock::now();
        for (size_t i = 0; i < modules.size(); ++i) {
            const short revents = polled[i].revents;
            if ((revents & POLLIN) != 0)
                Take(*modules[i], options);
            else if ((revents & (POLLHUP | POLLERR)) != 0)
                modules[i]->idleUntil = after + std::chrono::milliseconds(kHangupPollMs);
        }
    }
    return kExitStopped;
}

// Waits for the child, handing it the stop signals; returns its exit status.
int Supervise(pid_t child) {
    sigset_t waited;
    sigemptyset(&waited);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGCHLD})
        sigaddset(&waited, sig);
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (done < 0)
            return kExitNotStarted;
        int sig = 0;
        if (sigwait(&waited, &sig) == 0 && sig != SIGCHLD)
            kill(child, SIGTERM);
    }
}

void IgnoreSignal(int) {}

int SimMain(int argc, char** argv) {
    IgnoreFileSizeSignal(); // a full transcript file must not end the module
    Options options;
    if (const std::optional<int> status = ParseOptions(argc, argv, options))
        return *status;

    // Blocked before the fork so that no stop signal slips past between fork and sigwait; the child
    // unblocks them again. SIGCHLD needs a handler of its own to be delivered to sigwait at all.
    struct sigaction childAction {};
    childAction.sa_handler = IgnoreSignal;
    sigaction(SIGCHLD, &childAction, nullptr);
    sigset_t blocked, previous;
    sigemptyset(&blocked);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGCHLD})
        sigaddset(&blocked, sig);
    sigprocmask(SIG_BLOCK, &blocked, &previous);

    const pid_t supervisor = getpid();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("zk405-sim: fork");
        return kExitNotStarted;
    }
    if (child == 0) {
        InstallStopHandler();
        std::signal(SIGPIPE, SIG_IGN); // a reader of stdout that went away must not end the module
        sigprocmask(SIG_SETMASK, &previous, nullptr);
        return RunModules(options, supervisor);
    }
    return Supervise(child);
}

} // namespace

// No exception leaves main: the pseudo-terminals, links and transcript then go as at a normal end.
int main(int argc, char** argv) {
    try {
        return SimMain(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zk405-sim: stopped by an unexpected failure: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "zk405-sim: stopped by an unexpected failure\n");
    }
    return kExitNotStarted;
}
