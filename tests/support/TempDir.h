// A fresh temporary directory that the test works in ("TxRx.log" is created in the current directory),
// removed with everything in it afterwards.
#pragma once

#include <string>

class TempDir {
public:
    explicit TempDir(bool enter = true);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
    std::string m_previous;
};

std::string ReadWholeFile(const std::string& path);
