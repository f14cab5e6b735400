#include "ModuleCommands.h"

#include <algorithm>
#include <chrono>
#include <iterator>
#include <thread>

namespace module_commands {

namespace {

struct FlowDigitOf {
    const char* label;
    const char* digit;
};

constexpr FlowDigitOf kFlowDigits[] = {
    {kFlowXonXoff, "1"},
    {kFlowRtsCts, "2"},
    {kFlowBoth, "3"},
    {kFlowNone, "0"},
};
static_assert(std::size(kFlowDigits) == std::size(kFlowLabels),
              "every label the user is offered has its digit");

} // namespace

void SleepMilliseconds(uint32_t milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

const char* FlowDigit(const std::string& protocolLabel) {
    for (const FlowDigitOf& entry : kFlowDigits)
        if (protocolLabel == entry.label)
            return entry.digit;
    return "";
}

const char* AuthDigit(int32_t authChoice) {
    switch (authChoice) {
    case kAuthAskEveryTime:
        return "1";
    case kAuthRememberLast:
        return "2";
    default:
        return nullptr;
    }
}

FinalLine FinalLineOf(std::string_view reply) {
    size_t start = 0;
    for (size_t end; (end = reply.find('\n', start)) != std::string_view::npos; start = end + 1) {
        std::string_view line = reply.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line == "OK")
            return FinalLine::Ok;
        if (line == "ERROR")
            return FinalLine::Error;
    }
    return FinalLine::None;
}

const char* SettingItemName(SettingItem item) {
    switch (item) {
    case SettingItem::Name:
        return "name";
    case SettingItem::Pin:
        return "pin";
    case SettingItem::Flow:
        return "flow";
    case SettingItem::Auth:
        return "auth";
    }
    return "";
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

namespace {

using Clock = std::chrono::steady_clock;

bool Stopped(const CommandLink& link) {
    return link.stopRequested && link.stopRequested();
}

// Takes the reply piece by piece until it is complete or the one second is over; what comes later
// stays queued for the next exchange, as it does after the fixed wait.
std::string AwaitCompleteReply(const CommandLink& link, bool& stoppedOut) {
    const Clock::time_point cap = Clock::now() + std::chrono::milliseconds(kReplyWaitMs);
    std::string reply;
    for (;;) {
        const std::string piece = link.port->ReadReplyText();
        if (link.port->BytesRead() > 0) {
            reply += piece;
            if (IsReplyComplete(reply))
                break;
            continue; // more may be queued already
        }
        // A dropped link will bring nothing more: waiting out the second would only hide that.
        if (Clock::now() >= cap || link.port->LinkLost())
            break;
        if (Stopped(link)) {
            stoppedOut = true;
            break;
        }
        link.wait(kReplyPollMs);
    }
    return reply.empty() ? "0" : reply;
}

// The fixed second, in pieces when a stop may cut it short.
void AwaitFixedSecond(const CommandLink& link, bool& stoppedOut) {
    if (!link.stopRequested) {
        link.wait(kReplyWaitMs);
        return;
    }
    const Clock::time_point cap = Clock::now() + std::chrono::milliseconds(kReplyWaitMs);
    for (Clock::time_point now = Clock::now(); now < cap; now = Clock::now()) {
        if (Stopped(link)) {
            stoppedOut = true;
            return;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(cap - now).count() + 1;
        link.wait(static_cast<uint32_t>(std::min<long long>(left, kStopPollMs)));
    }
}

} // namespace

Exchange ExchangeCommand(const std::string& commandText, const CommandLink& link) {
    Exchange exchange;
    exchange.written = link.port->Write(static_cast<uint32_t>(commandText.size()), commandText.data()) !=
                       serial_result::kWriteFailed;
    if (link.replyDriven) {
        exchange.reply = AwaitCompleteReply(link, exchange.stopped);
    } else {
        AwaitFixedSecond(link, exchange.stopped);
        exchange.reply = link.port->ReadReplyText();
    }
    return exchange;
}

std::string SendCommand(const std::string& commandText, const CommandLink& link) {
    return ExchangeCommand(commandText, link).reply;
}

bool QueryModuleName(std::string& nameOut, const CommandLink& link, Exchange* lastOut) {
    const std::string command = std::string(kNameQuery) + kLineEnd;
    for (int attempt = 0; attempt < kNameAttempts && !Stopped(link); ++attempt) {
        if (link.attemptStarting)
            link.attemptStarting(attempt + 1, kNameAttempts);
        const Exchange exchange = ExchangeCommand(command, link);
        if (lastOut)
            *lastOut = exchange;
        std::string name;
        if (ParseNameReply(exchange.reply, name)) {
            nameOut = std::move(name);
            return true;
        }
        // A dropped link, a line that does not take the command or a stop brings no reply, whether
        // the wait is fixed or not: further tries would only keep the user waiting for nothing.
        if (!exchange.written || exchange.stopped || link.port->LinkLost())
            return false;
    }
    return false;
}

void ProgramModule(const MODULE_SETTINGS& settings, const CommandLink& link, const ExchangeObserver& observer,
                   const ExchangeStarting& starting) {
    const auto exchange = [&](SettingItem item, const std::string& command) {
        if (Stopped(link))
            return;
        if (starting)
            starting(item);
        const Exchange result = ExchangeCommand(command, link);
        if (observer)
            observer(item, command, result);
    };
    if (settings.setName == 1)
        exchange(SettingItem::Name, "AT+BNAME=" + settings.name + kLineEnd);
    if (settings.setPin == 1)
        exchange(SettingItem::Pin, "AT+BPIN=" + settings.pin + kLineEnd);
    if (settings.setFlow == 1)
        exchange(SettingItem::Flow, std::string("AT+BFLOW=") + FlowDigit(settings.protocolLabel) + kLineEnd);
    if (settings.setAuth == 1) {
        if (const char* digit = AuthDigit(settings.authChoice))
            exchange(SettingItem::Auth, std::string("AT+BSEC=") + digit + kLineEnd);
    }
}
