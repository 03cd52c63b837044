// A scratch directory for one test, removed with everything in it.
#pragma once

#include <string>
#include <string_view>

namespace convprep_test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string operator/(std::string_view name) const { return m_path + "/" + std::string(name); }
    // Writes a file (relative to the directory) and returns its full path.
    std::string WriteFile(std::string_view name, std::string_view contents) const;
    std::string MakeDir(std::string_view name) const;

private:
    std::string m_path;
};

}  // namespace convprep_test
