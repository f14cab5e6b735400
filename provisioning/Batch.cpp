#include "Batch.h"

#include "HostFacts.h"
#include "SerialPort.h"

#include <exception>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

namespace provisioning {

namespace {

class Batch {
public:
    Batch(const std::vector<PortTask>& tasks, const StepReport& report,
          const std::function<void(const PortResult&)>& ended, const PortRunner& runner)
        : m_tasks(tasks), m_report(report), m_ended(ended), m_runner(runner), m_results(tasks.size()) {}
    // Whatever ends the run, no job is left running (a joinable thread's end would abort).
    ~Batch() {
        for (std::thread& thread : m_threads)
            if (thread.joinable())
                thread.join();
    }
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    std::vector<PortResult> Run() {
        m_threads.reserve(m_tasks.size());
        for (size_t i = 0; i < m_tasks.size(); ++i) {
            try {
                m_threads.emplace_back([this, i] { RunOne(i); });
            } catch (const std::system_error& e) {
                // No thread (a process limit): this port is not touched, the others go on.
                Failed(i, "cannot start: no thread for the port", e.what());
            }
        }
        for (std::thread& thread : m_threads)
            thread.join();
        return std::move(m_results);
    }

private:
    void RunOne(size_t i) {
        // A job that fails on its own (no memory) has closed its port on the way out.
        try {
            const StepReport report = [this](const PortResult& port, const StepResult& step) {
                if (!m_report)
                    return;
                const std::lock_guard<std::mutex> lock(m_lock);
                m_report(port, step);
            };
            m_runner(m_tasks[i], report, m_results[i]);
            Ended(m_results[i]);
        } catch (const std::bad_alloc&) {
            Failed(i, "failed", "out of memory");
        } catch (const std::exception& e) {
            Failed(i, "failed", e.what());
        }
    }

    void Ended(const PortResult& result) {
        if (!m_ended)
            return;
        const std::lock_guard<std::mutex> lock(m_lock);
        m_ended(result);
    }

    // Marks a port failed for a reason of the process (no thread, no memory). Even the message may
    // find no memory: the status alone is then kept.
    void Failed(size_t i, const char* why, const char* detail) noexcept {
        PortResult& result = m_results[i];
        result.status = kExitNotOpened;
        try {
            result.port = m_tasks[i].port;
            result.position = m_tasks[i].position;
            result.device = host_facts::DeviceOf(m_tasks[i].port);
            result.message = std::string(why) + " (" + detail + ")";
            if (!result.steps.empty())
                result.message += " after " + std::to_string(result.steps.size()) + " steps";
            Ended(result);
        } catch (...) {
        }
    }

    const std::vector<PortTask>& m_tasks;
    const StepReport& m_report;
    const std::function<void(const PortResult&)>& m_ended;
    const PortRunner& m_runner;
    std::vector<PortResult> m_results;
    // Made before the threads and ended after they are joined (members end in reverse order, after the
    // destructor's joins): the ports' opens share one look for other holders of their devices.
    const CSerialPort::SharedHolderSearch m_search{static_cast<unsigned>(m_tasks.size())};
    std::vector<std::thread> m_threads;
    std::mutex m_lock; // one call at a time to report and ended
};

} // namespace

void RunPlain(const PortTask& task, const StepReport& report, PortResult& result) {
    RunPort(task, report, result);
}

std::vector<PortResult> RunBatch(const std::vector<PortTask>& tasks, const StepReport& report,
                                 const std::function<void(const PortResult&)>& ended, const PortRunner& runner) {
    return Batch(tasks, report, ended, runner).Run();
}

} // namespace provisioning
