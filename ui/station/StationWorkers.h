// The window's threads: the port watch that fills the list, the station (RunStation) while the
// automatic mode is on, and the manual jobs ("Programuj"). Each ends on its own stop flag and is
// joined by its owner, so the window never goes while one of them could still post to it; a stop
// lets the modules in flight finish and be recorded.
#pragma once

#include "Settings.h"
#include "Station.h"
#include "StationBridge.h"

#include <atomic>
#include <list>
#include <memory>
#include <string>
#include <thread>

namespace station_ui {

// What is done around a module's work, beside its settings.
struct AroundWork {
    provisioning::ResultCommand onResult;
    provisioning::PairingPlan pairing;
};

// Where the window finds modules, as the station looks for them.
struct WatchPlace {
    std::string watchDir; // "" for the system's serial ports
    bool bluetooth = false;
};

// What the window knows of a port: its description, and with probe why it cannot be opened, as
// zk405-cli's list tells it (the probe opens the port for a moment).
PortFacts FactsOf(const provisioning::PortEvent& event, bool probe);

class PortWatch {
public:
    explicit PortWatch(StationBridge& bridge) : m_bridge(bridge) {}
    ~PortWatch() { Stop(); }
    PortWatch(const PortWatch&) = delete;
    PortWatch& operator=(const PortWatch&) = delete;
    // False with the reason when the folder cannot be watched.
    bool Start(const WatchPlace& place, std::string& error);
    void Stop();
    // Off while the station runs: a probe opening a port just as the station takes the module would
    // have the station find its port busy.
    void SetProbing(bool probing) { m_probing = probing; }

private:
    void Run();

    StationBridge& m_bridge;
    std::vector<std::unique_ptr<provisioning::PortSource>> m_sources;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_probing{true};
    std::thread m_thread;
};

class StationRun {
public:
    explicit StationRun(StationBridge& bridge) : m_bridge(bridge) {}
    ~StationRun() { Join(); }
    StationRun(const StationRun&) = delete;
    StationRun& operator=(const StationRun&) = delete;
    // False (the reason in error) when no thread could be had.
    bool Start(provisioning::StationOptions options, std::string& error);
    // Takes no new module; the modules in flight finish, then StationEnded is posted.
    void RequestStop() { m_stop = true; }
    bool Running() const { return m_thread.joinable() && !m_ended; }
    void Join();

private:
    StationBridge& m_bridge;
    provisioning::StationOptions m_options;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_ended{false};
    std::thread m_thread;
};

class ManualJobs {
public:
    explicit ManualJobs(StationBridge& bridge) : m_bridge(bridge) {}
    ~ManualJobs() { JoinAll(); }
    ManualJobs(const ManualJobs&) = delete;
    ManualJobs& operator=(const ManualJobs&) = delete;
    // One module programmed with verification and read-back, its number from the ledger at ledgerPath.
    // Its transcript is kept beside the ledger, as the station keeps its attempts'.
    bool Start(const std::string& port, const std::string& address, const provisioning::SettingsInput& input,
               const AroundWork& around, const std::string& ledgerPath, std::string& error);
    // Joins the jobs that ended; true while one still runs.
    bool Reap();
    void JoinAll();

private:
    struct Job {
        std::string port;
        std::thread thread;
        std::atomic<bool> ended{false};
    };
    StationBridge& m_bridge;
    std::list<std::unique_ptr<Job>> m_jobs;
};

} // namespace station_ui
