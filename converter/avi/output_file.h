// The file layer under the AVI writer: appends at its own position, patches
// at given positions, and remembers whether anything failed.
//
// Threading: used by one thread at a time (the writer's caller serialises).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/file.h"

namespace vidorra {

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens for writing, creating the file if absent. An existing file keeps
    // its bytes until the length is set at close.
    bool Open(const std::string& path);
    bool IsOpen() const { return m_file.IsOpen(); }

    bool WriteAt(uint64_t position, const void* data, size_t size);
    // A null data pointer appends size zero bytes. The append position moves
    // only when the write succeeded.
    bool Append(const void* data, size_t size);
    bool SetLengthAt(uint64_t position);
    // Sets the end of file at length, then closes.
    void CloseAt(uint64_t length);
    void Close();

    uint64_t AppendPosition() const { return m_appendPosition; }
    void SetAppendPosition(uint64_t position) { m_appendPosition = position; }
    // Sticky: true once any create, seek, write or length change failed.
    bool HasError() const { return m_error; }
    void ClearError() { m_error = false; }

private:
    void ReportWriteError();

    qor::File m_file;
    std::string m_path;
    uint64_t m_appendPosition = 0;
    bool m_error = false;
};

}  // namespace vidorra
