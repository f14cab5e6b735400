#include "WorkDir.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <windows.h>

WorkDir::WorkDir() {
    static unsigned s_serial = 0;
    const std::filesystem::path base = std::filesystem::temp_directory_path();
    for (;;) {
        m_path =
            base / ("zk405-test-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++s_serial));
        std::error_code error;
        if (std::filesystem::create_directory(m_path, error))
            break;
        if (error)
            std::abort();
    }
    m_previous = std::filesystem::current_path();
    std::filesystem::current_path(m_path);
}

WorkDir::~WorkDir() {
    std::error_code ignored;
    std::filesystem::current_path(m_previous, ignored);
    std::filesystem::remove_all(m_path, ignored);
}

std::string ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
