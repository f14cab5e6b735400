// An independent model of the traffic log, written from its format rather than from TrafficLog.cpp:
// what the file and the monitor must hold, and what each call must return, for any sequence of
// blocks, directions and file writes that fail or fall short.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

class DumpModel {
public:
    // fileWrite decides each file write as the stand-in does: true when the whole text went in;
    // it appends what went in to the file itself.
    using FileWrite = std::function<bool(const std::string& text, std::string& file)>;

    DumpModel(bool monitor, FileWrite fileWrite)
        : m_monitorPresent(monitor), m_fileWrite(std::move(fileWrite)) {}

    int32_t Record(uint32_t direction, const std::string& bytes) {
        if (direction != m_direction) {
            Flush();
            ToMonitor("\n");
            if (!ToFile("\n"))
                return -7;
            const std::string header = direction == 1 ? "Read:" : "Written:";
            ToMonitor(header);
            if (!ToFile(header) || !ToFile("\n"))
                return -7;
        }
        for (char byte : bytes) {
            m_pending.push_back(static_cast<unsigned char>(byte));
            if (m_pending.size() == 16 && Flush() != 0)
                m_pending.clear();
        }
        m_direction = direction;
        return 0;
    }

    int32_t Flush() {
        if (m_pending.empty())
            return 0;
        std::string line;
        char hex[4];
        for (unsigned char byte : m_pending) {
            std::snprintf(hex, sizeof hex, "%02X ", byte);
            line += hex;
        }
        line.append(3 * (16 - m_pending.size()) + 3, ' ');
        for (unsigned char byte : m_pending)
            line += byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
        ToMonitor(line);
        if (!ToFile(line) || !ToFile("\n"))
            return -7;
        m_pending.clear();
        return 0;
    }

    void Close() { Flush(); }

    const std::string& File() const { return m_file; }
    const std::vector<std::string>& Monitor() const { return m_monitor; }

private:
    bool ToFile(const std::string& text) { return m_fileWrite(text, m_file); }
    void ToMonitor(const std::string& text) {
        if (m_monitorPresent)
            m_monitor.push_back(text);
    }

    bool m_monitorPresent;
    FileWrite m_fileWrite;
    uint32_t m_direction = 1; // a log starts as if the last block had been read
    std::vector<unsigned char> m_pending;
    std::string m_file;
    std::vector<std::string> m_monitor;
};
