// A fresh directory under the Windows temporary directory that a test works in ("TxRx.log" is created
// in the current directory), left and removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <string>

class WorkDir {
public:
    WorkDir();
    ~WorkDir();
    WorkDir(const WorkDir&) = delete;
    WorkDir& operator=(const WorkDir&) = delete;

    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
    std::filesystem::path m_previous;
};

// The whole file as bytes; empty when it cannot be read.
std::string ReadWholeFile(const std::filesystem::path& path);
