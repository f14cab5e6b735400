#include "CliProgress.h"

#include "CliPlatform.h"
#include "EscapedText.h"

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <system_error>

namespace zk405_cli {

namespace {

// A terminal that says nothing of its width is taken as the classic one.
constexpr size_t kColumnsUnknown = 80;

const char* PairingWords(PairingUnderWay step) {
    switch (step) {
    case PairingUnderWay::Pair:
        return "pairing";
    case PairingUnderWay::ProvePin:
        return "proving the new PIN";
    case PairingUnderWay::Unpair:
        return "removing the bond";
    case PairingUnderWay::None:
        break;
    }
    return "";
}

// The ledger's names for the steps (PairingSteps::Taken), so that one step has one name.
const char* PairingName(PairingUnderWay step) {
    switch (step) {
    case PairingUnderWay::Pair:
        return "pair";
    case PairingUnderWay::ProvePin:
        return "prove-pin";
    case PairingUnderWay::Unpair:
        return "unpair";
    case PairingUnderWay::None:
        break;
    }
    return "";
}

const char* StepWords(const StepUnderWay& underWay) {
    if (underWay.pairing != PairingUnderWay::None)
        return PairingWords(underWay.pairing);
    if (underWay.opening)
        return "opening";
    switch (underWay.step) {
    case StepKind::Name:
        return "sending the name";
    case StepKind::Pin:
        return "sending the PIN";
    case StepKind::Flow:
        return "sending flow control";
    case StepKind::Auth:
        return "sending authentication";
    case StepKind::NameReadBack:
        return "asking for its new name";
    case StepKind::NameRead:
    case StepKind::NameBefore:
        break;
    }
    return "asking for the name";
}

// The longest beginning of text that takes at most columns, cut between characters.
std::string FirstColumns(const std::string& text, size_t columns) {
    size_t taken = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const bool starts = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        if (starts && taken++ == columns)
            return text.substr(0, i);
    }
    return text;
}

} // namespace

std::string UnderWayWords(const StepUnderWay& underWay) {
    std::string words = StepWords(underWay);
    if (underWay.attempt > 1)
        words += ", try " + std::to_string(underWay.attempt) + " of " + std::to_string(underWay.of);
    return words;
}

nlohmann::json ProgressJson(const StepUnderWay& underWay) {
    return {{"event", "progress"},
            {"port", underWay.port},
            {"step", underWay.pairing != PairingUnderWay::None ? PairingName(underWay.pairing)
                     : underWay.opening                         ? "open"
                                                                : StepKindName(underWay.step)},
            {"try", underWay.attempt},
            {"of", underWay.of}};
}

void ProgressLine::Set(const StepUnderWay& underWay) {
    std::string words = EscapeControls(underWay.port) + ": " + UnderWayWords(underWay);
    for (auto& [port, shown] : m_ports)
        if (port == underWay.port) {
            shown = std::move(words);
            return;
        }
    m_ports.emplace_back(underWay.port, std::move(words));
}

void ProgressLine::Clear(const std::string& port) {
    for (auto it = m_ports.begin(); it != m_ports.end(); ++it)
        if (it->first == port) {
            m_ports.erase(it);
            return;
        }
}

std::string ProgressLine::Text(size_t columns) const {
    std::string text;
    for (const auto& [port, words] : m_ports)
        text += (text.empty() ? "" : "; ") + words;
    // The last column left free: a terminal written to its edge wraps, and "\r" would then go back
    // only to the second half.
    return FirstColumns(text, (columns == 0 ? kColumnsUnknown : columns) - 1);
}

std::string ProgressLine::Erase() {
    if (m_drawn.empty())
        return "";
    // Appended piece by piece: GCC 12 at -O3 warns falsely about "..." + std::string&&.
    std::string bytes = "\r";
    if (m_eraseEscape) {
        bytes += "\x1b[K";
    } else {
        bytes.append(m_drawnColumns, ' ');
        bytes += '\r';
    }
    m_drawn.clear();
    m_drawnColumns = 0;
    return bytes;
}

std::string ProgressLine::Draw(size_t columns) {
    const std::string text = Text(columns);
    if (text == m_drawn)
        return "";
    std::string bytes = Erase() + text;
    m_drawn = text;
    m_drawnColumns = DisplayWidth(text);
    return bytes;
}

bool ProgressWanted(const std::ostream& err, bool quiet, bool json, bool& eraseEscape) {
    const char* term = std::getenv("TERM");
    return &err == &std::cerr && !quiet && !json && (term == nullptr || std::strcmp(term, "dumb") != 0) &&
           cli_platform::StderrIsTerminal(eraseEscape);
}

TerminalProgress::TerminalProgress(std::ostream& err, bool on, bool eraseEscape)
    : m_err(err), m_on(on), m_line(eraseEscape) {
    if (!m_on)
        return;
    try {
        m_drawer = std::thread([this] { DrawLoop(); });
    } catch (const std::system_error&) {
        // No thread for it: every change is drawn as it comes, unthrottled.
    }
}

void TerminalProgress::Show(const StepUnderWay& underWay) {
    const std::lock_guard<std::mutex> lock(m_lock);
    if (!m_on)
        return;
    m_line.Set(underWay);
    Changed();
}

void TerminalProgress::Ended(const std::string& port) {
    const std::lock_guard<std::mutex> lock(m_lock);
    if (!m_on)
        return;
    m_line.Clear(port);
    Changed();
}

void TerminalProgress::Stop() {
    {
        const std::lock_guard<std::mutex> lock(m_lock);
        m_stopping = true;
    }
    m_changed.notify_all();
    if (m_drawer.joinable())
        m_drawer.join();
    const std::lock_guard<std::mutex> lock(m_lock);
    Put(m_line.Erase());
    m_on = false;
}

void TerminalProgress::Changed() {
    if (m_stopping)
        return;
    m_dirty = true;
    if (m_drawer.joinable())
        m_changed.notify_all();
    else
        Redraw();
}

void TerminalProgress::DrawLoop() {
    std::unique_lock<std::mutex> lock(m_lock);
    while (!m_stopping) {
        m_changed.wait(lock, [this] { return m_stopping || m_dirty; });
        if (m_stopping)
            return;
        Redraw();
        // A prompt module's steps come milliseconds apart: one redraw stands for all of them.
        m_changed.wait_for(lock, kRedrawInterval, [this] { return m_stopping; });
    }
}

void TerminalProgress::Redraw() {
    m_dirty = false;
    if (m_on && !m_stopping)
        Put(m_line.Draw(cli_platform::StderrColumns()));
}

void TerminalProgress::Put(const std::string& bytes) {
    if (!bytes.empty())
        m_err << bytes << std::flush;
}

std::unique_ptr<TerminalProgress> ProgressOn(std::ostream& err, bool quiet, bool json) {
    bool eraseEscape = true;
    const bool on = ProgressWanted(err, quiet, json, eraseEscape);
    return std::make_unique<TerminalProgress>(err, on, eraseEscape);
}

} // namespace zk405_cli
