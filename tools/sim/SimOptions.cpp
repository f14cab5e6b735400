#include "SimOptions.h"

#include "Cp1250.h"
#include "ZK405Version.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <fcntl.h>
#include <iostream>

namespace zk405_sim {

namespace {

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
    "  0  stopped by SIGINT, SIGTERM or SIGHUP, or the far end closed the socket (--fd, --unix)\n"
    "  1  bad usage\n"
    "  2  could not start (no pseudo-terminal, the link or the transcript refused), or an\n"
    "     unexpected failure";

// name takes the UTF-8 text given, which the caller converts to the module's code page.
void AddOptions(CLI::App& app, Options& options, std::string& name) {
    app.add_option("--name", name, "the module's name at start (UTF-8, held as Windows-1250), default ZK405");
    app.add_option("--count", options.count,
                   "play N modules (1 to " + std::to_string(kMaxModules) +
                       "), each on a port of its own, default 1")
        ->type_name("N")
        ->transform(tool_options::DecimalIn(1, kMaxModules));
    app.add_option("--link", options.link,
                   "also make PATH a symbolic link to the port, removed at exit (an existing\n"
                   "link is replaced, any other file is left alone and the start fails); a\n"
                   "link at a device of the port list (/dev/rfcommN) is named with its port\n"
                   "(com97 + N) on stderr")
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
    app.add_flag("--keep-pin", options.quirks.keepPin,
                 "answer \"OK\" to AT+BPIN= and keep the PIN, as a module that did not take it");
    app.add_option("--state", options.state,
                   "keep the module's name and PIN in FILE: read at start when it is there, written\n"
                   "after each change (numbered as --transcript with --count)")
        ->type_name("FILE");
    app.add_flag("--no-cr", options.quirks.noCr, "end the lines of the name reply with LF alone");
    app.add_flag("--echo", options.quirks.echo, "repeat each command, with its CR LF, before the reply");
    app.add_option("--flood", options.quirks.floodBytes, "send N filler bytes ('#') ahead of every reply")
        ->type_name("N")
        ->transform(tool_options::DecimalIn(0, 1 << 24));
    app.add_option("--transcript", options.transcript,
                   "append each command received as \"<ms since start> <command>\", with\n"
                   "the command escaped (\\r \\n \\t \\\\ \\xHH), one flushed line each")
        ->type_name("FILE");
    app.add_option("--fd", options.socketFd,
                   "serve the connected stream socket inherited as descriptor N (the far end\n"
                   "of a Bluetooth link, say) instead of a pseudo-terminal; stops when the\n"
                   "other end closes it")
        ->type_name("N")
        ->transform(tool_options::DecimalIn(0, 1 << 20));
    app.add_option("--unix", options.unixPath,
                   "the same over a connection to the Unix stream socket listening at PATH")
        ->type_name("PATH");
}

} // namespace

std::optional<int> ParseOptions(int argc, char** argv, Options& options) {
    CLI::App app{kDescription, "zk405-sim"};
    app.set_version_flag("--version", "zk405-sim " ZK405_VERSION_STRING);
    app.footer(kFooter);
    // An option given twice counts once, with its last value.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);

    std::string name = options.name;
    AddOptions(app, options, name);

    if (const std::optional<int> status = tool_options::Parse(app, argc, argv, std::cout, std::cerr))
        return status;
    if ((options.socketFd >= 0 || !options.unixPath.empty()) &&
        (options.count != 1 || !options.link.empty() ||
         (options.socketFd >= 0 && !options.unixPath.empty()))) {
        std::fprintf(stderr,
                     "zk405-sim: --fd and --unix serve one module, without --link, and not together\n");
        return tool_options::kExitUsage;
    }
    if (options.socketFd >= 0 && fcntl(options.socketFd, F_GETFD) == -1) {
        std::fprintf(stderr, "zk405-sim: descriptor %d is not open\n", options.socketFd);
        return tool_options::kExitUsage;
    }
    const cp1250::Encoded encoded = cp1250::Utf8ToCp1250(name);
    if (encoded.unrepresentable > 0)
        std::fprintf(stderr,
                     "zk405-sim: %zu character(s) of the name have no Windows-1250 form, sent as '%c'\n",
                     encoded.unrepresentable, cp1250::kReplacement);
    options.name = encoded.bytes;
    return std::nullopt;
}

std::string Numbered(const std::string& path, int index, int count) {
    return count == 1 || path.empty() ? path : path + std::to_string(index);
}

} // namespace zk405_sim
