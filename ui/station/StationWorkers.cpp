#include "StationWorkers.h"

#include "TranscriptFile.h"

#include "BluetoothSource.h"
#include "LogNames.h"
#include "OpenFailure.h"
#include "PolishHints.h"
#include "PortInfo.h"
#include "PortProbe.h"
#include "StationTexts.h"
#include "StopSignal.h"

#include <system_error>

namespace station_ui {

using provisioning::PortEvent;

PortFacts FactsOf(const PortEvent& event, bool probe) {
    PortFacts facts;
    facts.port = event.port;
    facts.address = event.bluetooth;
    if (!event.bluetooth.empty()) {
        facts.description = "bluetooth " + event.bluetooth;
        return facts; // opening a Bluetooth module to learn whether it can be opened would connect to it
    }
    const port_info::PortInfo info = port_info::DescribePort(event.port);
    facts.description = std::string(port_info::KindName(info.kind));
    if (!info.description.empty())
        facts.description += ": " + info.description;
    if (info.address)
        facts.description += " " + *info.address;
    serial_result::OpenFailure failure;
    if (probe && !port_probe::CanOpen(event.port, failure))
        facts.cannotOpen = serial_result::DescribeOpenFailure(failure) + ". " +
                           provisioning::HintFor(failure, {}, PolishHints());
    return facts;
}

bool PortWatch::Start(const WatchPlace& place, std::string& error) {
    m_sources.push_back(provisioning::MakeDeviceWatcher(place.watchDir, error));
    if (!m_sources.back()) {
        m_sources.clear();
        return false;
    }
    if (place.bluetooth) {
        std::string why;
        if (auto source = provisioning::MakeBluetoothSource(why))
            m_sources.push_back(std::move(source));
        else
            m_bridge.Notice(std::string(text::kStationRefused) + why, true);
    }
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error& e) {
        error = std::string("no thread for the port watch (") + e.what() + ")";
        return false;
    }
    return true;
}

void PortWatch::Run() {
    const auto tell = [this](const PortEvent& event) {
        if (event.kind == PortEvent::Kind::Appeared)
            m_bridge.Appeared(FactsOf(event, m_probing));
        else if (event.kind == PortEvent::Kind::Gone)
            m_bridge.Went(event.port);
    };
    for (const auto& source : m_sources)
        for (const PortEvent& event : source->Present())
            tell(event);
    while (!m_stop)
        for (size_t i = 0; i < m_sources.size() && !m_stop; ++i)
            for (const PortEvent& event : m_sources[i]->Changes(i == 0 ? 100 : 0))
                tell(event);
}

void PortWatch::Stop() {
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    m_sources.clear();
}

bool StationRun::Start(provisioning::StationOptions options, std::string& error) {
    Join();
    m_options = std::move(options);
    m_stop = false;
    m_ended = false;
    // The window's own stop, or Ctrl+C in the terminal that started it.
    m_options.stopRequested = [this] { return m_stop || StopRequested(); };
    if (!m_options.bluetoothSource)
        m_options.bluetoothSource = provisioning::MakeBluetoothSource;
    try {
        m_thread = std::thread([this] {
            std::string refusal;
            const provisioning::ExitStatus status = provisioning::RunStation(m_options, m_bridge, refusal);
            m_bridge.StationEnded(status, refusal);
            m_ended = true;
        });
    } catch (const std::system_error& e) {
        error = std::string("no thread for the station (") + e.what() + ")";
        return false;
    }
    return true;
}

void StationRun::Join() {
    if (m_thread.joinable()) {
        m_stop = true;
        m_thread.join();
    }
}

bool ManualJobs::Start(const std::string& port, const std::string& address, const provisioning::SettingsInput& input,
                       const AroundWork& around, const std::string& ledgerPath, std::string& error) {
    provisioning::RecordedTask task;
    task.port = port;
    task.bluetooth = address;
    task.logFile = provisioning::LogFileFor(port, 2);
    task.input = input;
    task.transcriptDir = provisioning::TranscriptFolderFor(ledgerPath);
    task.onResult = around.onResult;
    task.pairing = around.pairing;
    // As at the station: a module half-programmed is worse than finishing the one in flight.
    task.stopRequested = [] { return false; };
    auto job = std::make_unique<Job>();
    job->port = port;
    Job* self = job.get();
    m_jobs.push_back(std::move(job));
    try {
        self->thread = std::thread([this, self, task, ledgerPath] {
            provisioning::Ledger ledger;
            std::string why;
            ledger.SetLockWait([this](const provisioning::LedgerLockWait& wait) { m_bridge.LedgerWaiting(wait); });
            if (!ledger.Open(ledgerPath, why)) {
                // Nothing was sent; the row ends with the ledger's reason instead of staying in flight.
                provisioning::RecordedResult refused;
                refused.port.port = task.port;
                refused.port.status = provisioning::kExitLedger;
                refused.port.message = why;
                refused.ledgerFailed = true;
                refused.ledgerError = why;
                m_bridge.Finished(refused, provisioning::VerdictOf(refused.port), {});
            } else {
                const provisioning::RecordedResult result = provisioning::RunRecorded(
                    ledger, task, nullptr, [this](const provisioning::RecordedResult& r) { m_bridge.Started(r); });
                m_bridge.Finished(result, provisioning::VerdictOf(result.port), {});
            }
            // Posted before the job counts as ended: once it does, the window may reap it at any moment.
            m_bridge.ManualEnded(task.port);
            self->ended = true;
        });
    } catch (const std::system_error& e) {
        m_jobs.pop_back();
        error = std::string("no thread for the port (") + e.what() + ")";
        return false;
    }
    return true;
}

bool ManualJobs::Reap() {
    for (auto it = m_jobs.begin(); it != m_jobs.end();) {
        if ((*it)->ended) {
            (*it)->thread.join();
            it = m_jobs.erase(it);
        } else {
            ++it;
        }
    }
    return !m_jobs.empty();
}

void ManualJobs::JoinAll() {
    for (auto& job : m_jobs)
        if (job->thread.joinable())
            job->thread.join();
    m_jobs.clear();
}

} // namespace station_ui
