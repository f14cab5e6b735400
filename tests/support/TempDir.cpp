#include "TempDir.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

TempDir::TempDir(bool enter) {
    char pattern[] = "/tmp/zk405-test-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        std::abort();
    m_path = pattern;
    if (enter) {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof cwd) != nullptr && chdir(m_path.c_str()) == 0)
            m_previous = cwd;
    }
}

TempDir::~TempDir() {
    if (!m_previous.empty() && chdir(m_previous.c_str()) != 0)
        std::abort();
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
