// zk405-sim: a ZK405 in configuration mode on a pseudo-terminal, for working on the configuration tool
// without the module. The tool opens the pseudo-terminal's far end (or a link to it) as its port.
//
// The rules are SimulatedModule's; the command line is SimOptions', each line SimLine's, the timing of
// the replies ReplySchedule's and the fork Supervisor's. What is left here puts them together.
#include "Cp1250.h"
#include "FileSizeSignal.h"
#include "StandardStreams.h"
#include "PortNames.h"
#include "ReplySchedule.h"
#include "SimOptions.h"
#include "SimState.h"
#include "Supervisor.h"

#include <cstdio>
#include <exception>
#include <unistd.h>

namespace zk405_sim {

namespace {

// Opens the line, its link and its transcript for module index; false (with the reason said) when
// one of them fails.
bool OpenLine(ModuleLine& m, const Options& options, int index) {
    const std::string link = Numbered(options.link, index, options.count);
    const std::string transcript = Numbered(options.transcript, index, options.count);
    const bool opened = options.socketFd >= 0
                            ? m.line.Adopt(options.socketFd, "descriptor " + std::to_string(options.socketFd))
                        : !options.unixPath.empty()
                            ? m.line.ConnectUnix(options.unixPath)
                            : m.line.Open(index == 0); // only the first can be controlling
    return opened && (link.empty() || m.line.MakeLink(link)) &&
           (transcript.empty() || m.line.OpenTranscript(transcript));
}

// ", linked at PATH", with the port name the port list shows for PATH when it is one of its devices
// (" (com99)" for /dev/rfcomm2): scripts that link a module there read the name to pick.
std::string LinkText(const SimLine& line) {
    if (line.Link().empty())
        return "";
    const std::string com = port_names::ComNameOfDevicePath(line.Link(), port_names::DeviceDirectory());
    return ", linked at " + line.Link() + (com.empty() ? "" : " (" + com + ")");
}

// The ports to open on stdout, one a line and flushed at once, as the scripts and tests read them;
// a line on stderr for each module for the person who started it.
void AnnounceLines(const std::vector<std::unique_ptr<ModuleLine>>& modules, const Options& options) {
    for (const auto& m : modules) {
        if (!m->line.IsSocket())
            std::printf("%s\n", m->line.SlavePath().c_str());
        std::fprintf(stderr, "zk405-sim: module \"%s\" on %s%s\n", cp1250::Cp1250ToUtf8(options.name).c_str(),
                     m->line.SlavePath().c_str(), LinkText(m->line).c_str());
    }
    std::fflush(stdout);
}

int RunModules(const Options& options, pid_t supervisor) {
    setsid();
    std::vector<std::unique_ptr<ModuleLine>> modules;
    for (int i = 0; i < options.count; ++i) {
        auto m = std::make_unique<ModuleLine>(options.name, options.quirks);
        if (!OpenLine(*m, options, i))
            return kExitNotStarted;
        m->statePath = Numbered(options.state, i, options.count);
        if (!m->statePath.empty())
            LoadState(m->statePath, m->module);
        modules.push_back(std::move(m));
    }
    AnnounceLines(modules, options);
    return ServeModules(modules, options.lateMs, supervisor);
}

int SimMain(int argc, char** argv) {
    if (!CoverClosedStandardStreams())
        return kExitNotStarted;
    IgnoreFileSizeSignal(); // a full transcript file must not end the module
    Options options;
    if (const std::optional<int> status = ParseOptions(argc, argv, options))
        return *status;
    // The socket is the child's alone, so that the far end sees it close when the module ends.
    return RunSupervised(options.socketFd,
                         [&options](pid_t supervisor) { return RunModules(options, supervisor); });
}

} // namespace

} // namespace zk405_sim

// No exception leaves main: the pseudo-terminals, links and transcript then go as at a normal end.
int main(int argc, char** argv) {
    try {
        return zk405_sim::SimMain(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zk405-sim: stopped by an unexpected failure: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "zk405-sim: stopped by an unexpected failure\n");
    }
    return zk405_sim::kExitNotStarted;
}
