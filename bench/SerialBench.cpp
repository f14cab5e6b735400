// What recording and a command round trip cost, and proof that neither allocates: every operator new
// in the process is counted, and each benchmark reports the allocations per operation.
#include "PortNames.h"
#include "PortProbe.h"
#include "PseudoTerminal.h"
#include "SerialPort.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>
#include <unistd.h>

namespace {
std::atomic<long> g_allocations{0};
}

void* operator new(std::size_t size) {
    ++g_allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

const std::string kCommand = "AT+BNAME=Kaldor printer\r\n";

void ReportAllocations(benchmark::State& state, long before) {
    state.counters["allocs/op"] =
        benchmark::Counter(static_cast<double>(g_allocations - before), benchmark::Counter::kAvgIterations);
}

// A fresh directory to work in, removed with its files afterwards.
class BenchDirectory {
public:
    BenchDirectory() {
        if (mkdtemp(m_path) != nullptr && chdir(m_path) == 0)
            m_entered = true;
    }
    ~BenchDirectory() {
        unlink("TxRx.log");
        rmdir(m_path);
    }
    bool Entered() const { return m_entered; }
    const char* Path() const { return m_path; }

private:
    char m_path[32] = "/tmp/zk405-bench-XXXXXX";
    bool m_entered = false;
};

// Recording a command and flushing its last line into the log file (on /tmp; the log takes only a
// plain file, so the iterations are bounded to keep it small).
void BM_RecordAndFlush(benchmark::State& state) {
    BenchDirectory directory;
    CSerialPort port;
    if (!directory.Entered() || port.OpenLog("TxRx.log") != 0) {
        state.SkipWithError("cannot create the log");
        return;
    }
    const long before = g_allocations;
    for (auto _ : state) {
        port.RecordTraffic(0, static_cast<uint32_t>(kCommand.size()), kCommand.data());
        port.FlushLine();
    }
    ReportAllocations(state, before);
    port.CloseLog();
}
BENCHMARK(BM_RecordAndFlush)->Iterations(100000);

// The port window's probe of com1 to com128: on an empty device directory, and on this machine's /dev.
void BM_ProbePorts(benchmark::State& state, bool machineDevices) {
    BenchDirectory directory;
    const std::string previous = port_names::DeviceDirectory();
    if (!machineDevices)
        port_names::SetDeviceDirectory(directory.Path());
    size_t listed = 0;
    for (auto _ : state)
        listed = port_probe::ListOpenablePorts().size();
    state.counters["ports"] = static_cast<double>(listed);
    port_names::SetDeviceDirectory(previous);
}
BENCHMARK_CAPTURE(BM_ProbePorts, NonePresent, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ProbePorts, ThisMachine, true)->Unit(benchmark::kMillisecond);

// Write a command, let the far end answer, take the reply: the exchange without its fixed wait.
void RoundTrip(benchmark::State& state, bool asText) {
    BenchDirectory directory;
    if (!directory.Entered()) {
        state.SkipWithError("no working directory");
        return;
    }
    PseudoTerminal pty;
    CSerialPort port;
    if (port.Open(pty.SlavePath().c_str(), 9600) != 0) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    const std::string reply = "OK\r\n";
    char echo[64];
    uint32_t count = 0;
    const long before = g_allocations;
    for (auto _ : state) {
        port.Write(static_cast<uint32_t>(kCommand.size()), kCommand.data());
        for (size_t got = 0; got < kCommand.size();) {
            const ssize_t n = read(pty.MasterFd(), echo, sizeof echo);
            got += n > 0 ? static_cast<size_t>(n) : 0;
        }
        state.PauseTiming(); // the module's answer travelling back is not the channel's cost
        pty.SendToPort(reply);
        state.ResumeTiming();
        if (asText)
            benchmark::DoNotOptimize(port.ReadReplyText());
        else
            port.ReadAvailable(count, CSerialPort::kBufferSize);
    }
    ReportAllocations(state, before);
    port.Close();
}
void BM_WriteReadAvailable(benchmark::State& state) { RoundTrip(state, false); }
void BM_WriteReadReplyText(benchmark::State& state) { RoundTrip(state, true); }
BENCHMARK(BM_WriteReadAvailable);
BENCHMARK(BM_WriteReadReplyText);

} // namespace

BENCHMARK_MAIN();
