// The traffic log's hex dump for any blocks, in any direction, with log file writes that fail or fall
// short on a schedule the input gives, checked call by call and byte by byte against DumpModel.
#include "DumpModel.h"
#include "InMemorySerialSystem.h"
#include "SerialPort.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>

namespace {

// One schedule entry decides a file write: below 192 it goes in whole; up to 223 it fails after
// taking (entry - 192) bytes; from 224 it reports success yet takes only (entry - 224) bytes.
struct Schedule {
    std::vector<uint8_t> entries;

    in_memory_os::LogWrite Next(size_t& index) const {
        if (entries.empty())
            return {};
        const uint8_t entry = entries[index++ % entries.size()];
        if (entry < 192)
            return {};
        if (entry < 224)
            return {false, static_cast<uint32_t>(entry - 192)};
        return {true, static_cast<uint32_t>(entry - 224)};
    }
};

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "hex dump differs from the model: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    in_memory_os::Reset();
    auto& os = in_memory_os::Os();
    os.monitorPresent = input.ConsumeBool();
    Schedule schedule{input.ConsumeBytes<uint8_t>(input.ConsumeIntegralInRange<size_t>(0, 24))};

    size_t portWrites = 0;
    os.logWrite = [&](uint32_t) { return schedule.Next(portWrites); };
    size_t modelWrites = 0;
    const auto modelWrite = [&](const std::string& text, std::string& file) {
        const in_memory_os::LogWrite outcome = schedule.Next(modelWrites);
        file += text.substr(0, outcome.takes);
        return outcome.ok && outcome.takes >= text.size();
    };

    CSerialPort port;
    Check(port.OpenLog("TxRx.log") == 0, "the log opens");
    auto model = std::make_unique<DumpModel>(os.monitorPresent, modelWrite);

    while (input.remaining_bytes() > 0) {
        switch (input.ConsumeIntegralInRange(0, 5)) {
        case 0:
        case 1:
        case 2: {
            uint32_t direction = input.ConsumeIntegralInRange<uint32_t>(0, 2);
            if (direction == 2)
                direction = input.ConsumeIntegral<uint32_t>();
            const std::string block = input.ConsumeBytesAsString(input.ConsumeIntegralInRange<size_t>(0, 40));
            const int32_t result =
                port.RecordTraffic(direction, static_cast<uint32_t>(block.size()), block.data());
            Check(result == model->Record(direction, block), "result of a block");
            break;
        }
        case 3:
            Check(port.FlushLine() == model->Flush(), "result of a flush");
            break;
        case 4:
            Check(port.RecordTraffic(0, 5, nullptr) == -1, "a block without data is refused");
            break;
        case 5:
            Check(port.CloseLog() == 0, "closing the log");
            model->Close();
            Check(os.logFile == model->File(), "file at close");
            Check(os.monitor == model->Monitor(), "monitor at close");
            Check(port.OpenLog("TxRx.log") == 0, "the log opens again");
            os.monitor.clear();
            portWrites = modelWrites = 0;
            model = std::make_unique<DumpModel>(os.monitorPresent, modelWrite);
            break;
        }
        Check(os.logFile == model->File(), "file bytes");
        Check(os.monitor == model->Monitor(), "monitor messages");
    }
    Check(port.CloseLog() == 0, "closing the log");
    model->Close();
    Check(os.logFile == model->File(), "file at the end");
    Check(os.monitor == model->Monitor(), "monitor at the end");
    Check(port.CloseLog() == -1, "a closed log is not closed again");
    return 0;
}
