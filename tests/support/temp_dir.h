// A scratch directory for one test, removed with everything in it when the
// object goes, so a failing assertion leaves nothing behind.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <string_view>

namespace qor::test {

class TempDir {
public:
    // The tag shows in the directory's name, which helps when one is left over.
    explicit TempDir(std::string_view tag = "test") {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/qor_" +
                              std::string(tag) + "_XXXXXX";
        if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(std::string_view name) const { return m_path + "/" + std::string(name); }
    // Writes a file (relative to the directory) and returns its full path.
    std::string WriteFile(std::string_view name, std::string_view contents) const {
        const std::string full = *this / name;
        std::ofstream out(full, std::ios::binary);
        out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
        return full;
    }
    std::string MakeDir(std::string_view name) const {
        const std::string full = *this / name;
        std::filesystem::create_directories(full);
        return full;
    }

private:
    std::string m_path;
};

}  // namespace qor::test
