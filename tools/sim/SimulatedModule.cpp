#include "SimulatedModule.h"

#include <utility>

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr char kFiller = '#';

bool StartsWith(const std::string& text, std::string_view prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

SimulatedModule::SimulatedModule(std::string name, Quirks quirks)
    : m_name(std::move(name)), m_quirks(quirks) {}

std::vector<SimulatedModule::Exchange> SimulatedModule::Receive(std::string_view bytes) {
    std::vector<Exchange> exchanges;
    m_pending.append(bytes);
    size_t end;
    while ((end = m_pending.find(kLineEnd)) != std::string::npos) {
        Exchange exchange;
        exchange.command = m_pending.substr(0, end);
        m_pending.erase(0, end + kLineEnd.size());
        exchange.reply = Answer(exchange.command);
        exchanges.push_back(std::move(exchange));
    }
    // Line noise without a CR LF would otherwise grow without end; the module's own buffer would
    // have overflowed long before.
    if (m_pending.size() > kMaxPendingBytes)
        m_pending.clear();
    return exchanges;
}

std::string SimulatedModule::Answer(const std::string& command) {
    if (m_quirks.silent || command.empty())
        return {};
    std::string reply;
    if (m_quirks.echo)
        reply.append(command).append(kLineEnd);
    reply.append(m_quirks.floodBytes, kFiller);

    const std::string_view ok = "OK\r\n";
    const std::string_view error = "ERROR\r\n";
    for (const std::string& prefix : m_quirks.refusedPrefixes)
        if (StartsWith(command, prefix))
            return reply.append(error);
    if (command == "AT+BNAME?") {
        const std::string_view end = m_quirks.noCr ? "\n" : kLineEnd;
        reply.append("+BNAME=").append(m_name).append(end).append("OK").append(end);
    } else if (StartsWith(command, "AT+BNAME=")) {
        m_name = command.substr(9);
        reply.append(ok);
    } else if (StartsWith(command, "AT+BPIN=")) {
        if (!m_quirks.keepPin)
            m_pin = command.substr(8);
        reply.append(ok);
    } else if (StartsWith(command, "AT+BFLOW=")) {
        const std::string value = command.substr(9);
        const bool known = value.size() == 1 && value[0] >= '0' && value[0] <= '3';
        if (known)
            m_flow = value;
        reply.append(known ? ok : error);
    } else if (StartsWith(command, "AT+BSEC=")) {
        const std::string value = command.substr(8);
        const bool known = value == "1" || value == "2";
        if (known)
            m_security = value;
        reply.append(known ? ok : error);
    } else if (command == "AT") {
        reply.append(ok);
    } else {
        reply.append(error);
    }
    return reply;
}
