// The name query through its port and wait seam, on the in-memory device: whatever the module
// answers, in whatever pieces the driver hands it over, and floods past the receive buffer. The
// result, the number of tries, the bytes written and the log are checked against a plain model.
#include "DumpModel.h"
#include "InMemorySerialSystem.h"
#include "ModuleCommands.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <cstring>

namespace {

const std::string kQuery = "AT+BNAME?\r\n";

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "name query differs from the model: %s\n", what);
        std::abort();
    }
}

// What one exchange makes of the bytes its read delivered.
bool ModelName(const std::string& delivered, std::string& name) {
    std::string text;
    for (char c : delivered) {
        if (c == '\0')
            break;
        text += c;
    }
    size_t equals = 0;
    while (equals < text.size() && text[equals] != '=')
        ++equals;
    if (equals == text.size())
        return false; // also the "0" of an empty read
    name.clear();
    for (size_t i = equals + 1; i < text.size(); ++i) {
        if (text[i] == '\r')
            return true;
        name += text[i];
    }
    name.clear(); // no CR after the "="
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider input(data, size);
    in_memory_os::Reset();
    auto& os = in_memory_os::Os();
    os.monitorPresent = input.ConsumeBool();
    const uint32_t readCap = input.ConsumeIntegralInRange<uint32_t>(1, 3000);
    os.readSize = [readCap](uint32_t wanted) { return wanted < readCap ? wanted : readCap; };

    CSerialPort port;
    Check(port.Open("com1", 9600) == 0, "the port opens");

    std::vector<size_t> readsBefore; // reads done before each exchange's wait returned
    module_commands::CommandLink link;
    link.port = &port;
    link.wait = [&](uint32_t milliseconds) {
        Check(milliseconds == module_commands::kReplyWaitMs, "a second's wait");
        std::string reply = input.ConsumeRandomLengthString(200);
        if (input.ConsumeIntegralInRange(0, 7) == 0)
            reply.insert(0, input.ConsumeIntegralInRange<size_t>(0, 5000), '#'); // a flood
        os.input += reply;
        readsBefore.push_back(os.reads.size());
    };

    std::string name = "untouched";
    const bool found = QueryModuleName(name, link);

    // The model: each exchange's reply is what its one read delivered (at most the buffer's size).
    const size_t exchanges = readsBefore.size();
    Check(exchanges >= 1 && exchanges <= static_cast<size_t>(module_commands::kNameAttempts), "tries");
    bool modelFound = false;
    std::string modelName;
    for (size_t i = 0; i < exchanges && !modelFound; ++i) {
        const size_t end = i + 1 < exchanges ? readsBefore[i + 1] : os.reads.size();
        Check(end - readsBefore[i] <= 1, "one read per exchange");
        const std::string delivered = end > readsBefore[i] ? os.reads[readsBefore[i]] : std::string();
        Check(delivered.size() <= CSerialPort::kBufferSize, "a read stays within the buffer");
        modelFound = ModelName(delivered, modelName);
        Check(!modelFound || i + 1 == exchanges, "the query stops at the first name");
    }
    Check(found == modelFound, "found");
    Check(found ? name == modelName : name == "untouched", "the name");
    Check(found || exchanges == static_cast<size_t>(module_commands::kNameAttempts), "all tries used");

    std::string commands;
    for (size_t i = 0; i < exchanges; ++i)
        commands += kQuery;
    Check(os.written == commands, "what was written");

    Check(port.Close() == 0, "the port closes");
    DumpModel dump(os.monitorPresent, [](const std::string& text, std::string& file) {
        file += text;
        return true;
    });
    dump.Record(0, commands);
    dump.Close();
    Check(os.logFile == dump.File(), "the log");
    Check(os.openDevices == 0 && os.openLogs == 0, "everything handed back");
    return 0;
}
