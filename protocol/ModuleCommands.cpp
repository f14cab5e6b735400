#include "ModuleCommands.h"

#include <chrono>
#include <thread>

namespace module_commands {

namespace {

constexpr const char* kLineEnd = "\r\n";

struct FlowLabel {
    const char* label;
    const char* digit;
};

constexpr FlowLabel kFlowLabels[] = {
    {kFlowXonXoff, "1"},
    {kFlowRtsCts, "2"},
    {kFlowBoth, "3"},
    {kFlowNone, "0"},
};

} // namespace

void SleepMilliseconds(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

const char* FlowDigit(const std::string& protocolLabel) {
    for (const FlowLabel& entry : kFlowLabels)
        if (protocolLabel == entry.label)
            return entry.digit;
    return "";
}

const char* AuthDigit(int32_t authChoice) {
    switch (authChoice) {
    case 0:
        return "1";
    case 1:
        return "2";
    default:
        return nullptr;
    }
}

bool ParseNameReply(const std::string& reply, std::string& nameOut) {
    const size_t equals = reply.find('=');
    if (equals == std::string::npos)
        return false;
    const size_t cr = reply.find('\r', equals + 1);
    nameOut = cr == std::string::npos ? std::string() : reply.substr(equals + 1, cr - equals - 1);
    return true;
}

} // namespace module_commands

using namespace module_commands;

std::string SendCommand(const std::string& commandText, const CommandLink& link) {
    link.port->Write(static_cast<uint32_t>(commandText.size()), commandText.data());
    link.wait(kReplyWaitMs);
    return link.port->ReadReplyText();
}

bool QueryModuleName(std::string& nameOut, const CommandLink& link) {
    const std::string command = std::string("AT+BNAME?") + kLineEnd;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string name;
        if (ParseNameReply(SendCommand(command, link), name)) {
            nameOut = std::move(name);
            return true;
        }
    }
    return false;
}

void ProgramModule(const MODULE_SETTINGS& settings, const CommandLink& link) {
    if (settings.setName == 1)
        SendCommand("AT+BNAME=" + settings.name + kLineEnd, link);
    if (settings.setPin == 1)
        SendCommand("AT+BPIN=" + settings.pin + kLineEnd, link);
    if (settings.setFlow == 1)
        SendCommand(std::string("AT+BFLOW=") + FlowDigit(settings.protocolLabel) + kLineEnd, link);
    if (settings.setAuth == 1) {
        if (const char* digit = AuthDigit(settings.authChoice))
            SendCommand(std::string("AT+BSEC=") + digit + kLineEnd, link);
    }
}
