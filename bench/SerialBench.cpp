// What recording and a command round trip cost, and proof that neither allocates: every operator new
// in the process is counted, and each benchmark reports the allocations per operation.
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

// Recording a command and flushing its last line, into a log that costs nothing to write.
void BM_RecordAndFlush(benchmark::State& state) {
    CSerialPort port;
    if (port.OpenLog("/dev/null") != 0) {
        state.SkipWithError("cannot log to /dev/null");
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
BENCHMARK(BM_RecordAndFlush);

// Write a command, let the far end answer, take the reply: the exchange without its fixed wait.
void RoundTrip(benchmark::State& state, bool asText) {
    char directory[] = "/tmp/zk405-bench-XXXXXX";
    if (mkdtemp(directory) == nullptr || chdir(directory) != 0) {
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
    unlink("TxRx.log");
    rmdir(directory);
}
void BM_WriteReadAvailable(benchmark::State& state) { RoundTrip(state, false); }
void BM_WriteReadReplyText(benchmark::State& state) { RoundTrip(state, true); }
BENCHMARK(BM_WriteReadAvailable);
BENCHMARK(BM_WriteReadReplyText);

} // namespace

BENCHMARK_MAIN();
