#include "StartRequest.h"

#include "ZK405Version.h"

#include <cstring>

StartRequest ReadStartRequest(int argc, const char* const* argv) {
    if (argc < 2 || argv[1] == nullptr)
        return StartRequest::kWindows;
    if (std::strcmp(argv[1], "--version") == 0)
        return StartRequest::kVersion;
    if (std::strcmp(argv[1], "--help") == 0)
        return StartRequest::kHelp;
    return StartRequest::kWindows;
}

std::string StartRequestText(StartRequest request) {
    switch (request) {
    case StartRequest::kVersion:
        return "zk405 " ZK405_VERSION_STRING "\n";
    case StartRequest::kHelp:
        return "Usage: zk405 [--version | --help]\n"
               "Configures the ZK405 Bluetooth serial module: pick its serial port, read its name, set\n"
               "its name, PIN, flow control and authentication. Every byte sent is logged to TxRx.log in\n"
               "the current directory. The windows take no options.\n"
               "\n"
               "  --version  print the version and exit\n"
               "  --help     show this text and exit\n"
               "\n"
               "On Linux SIGINT, SIGTERM and SIGHUP end the exchange under way and close the windows; the\n"
               "port and its log are given back and the exit status is 128 + the signal.\n";
    case StartRequest::kWindows:
        break;
    }
    return {};
}
