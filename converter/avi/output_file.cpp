#include "converter/avi/output_file.h"

#include <algorithm>

#include "platform/debug_output.h"

namespace vidorra {

namespace {
constexpr size_t kZeroPiece = 2048;
const uint8_t kZeros[kZeroPiece] = {};
}  // namespace

OutputFile::~OutputFile() { Close(); }

bool OutputFile::Open(const std::string& path) {
    Close();
    m_path = path;
    m_appendPosition = 0;
    if (!m_file.Open(path, qor::File::Mode::OpenAlways)) {
        qor::DebugOutput("Unable to open file %s.\n", path.c_str());
        m_error = true;
        return false;
    }
    return true;
}

void OutputFile::ReportWriteError() {
    qor::DebugOutput("Write error occurred on file %s.\n", m_path.c_str());
    m_error = true;
}

bool OutputFile::WriteAt(uint64_t position, const void* data, size_t size) {
    // Positioned writes need no separate seek; an offset the platform cannot
    // address is the seek failure.
    if (position > static_cast<uint64_t>(INT64_MAX) || !m_file.WriteAt(data, size, static_cast<int64_t>(position))) {
        ReportWriteError();
        return false;
    }
    return true;
}

bool OutputFile::Append(const void* data, size_t size) {
    if (data != nullptr) {
        if (!WriteAt(m_appendPosition, data, size)) return false;
        m_appendPosition += size;
        return true;
    }
    while (size > 0) {
        const size_t piece = std::min(size, kZeroPiece);
        if (!WriteAt(m_appendPosition, kZeros, piece)) return false;
        m_appendPosition += piece;
        size -= piece;
    }
    return true;
}

bool OutputFile::SetLengthAt(uint64_t position) {
    if (!m_file.IsOpen() || position > static_cast<uint64_t>(INT64_MAX) ||
        m_file.Seek(static_cast<int64_t>(position), qor::File::Origin::Begin) < 0 || !m_file.SetEndOfFile()) {
        ReportWriteError();
        return false;
    }
    return true;
}

void OutputFile::CloseAt(uint64_t length) {
    if (!m_file.IsOpen()) return;
    SetLengthAt(length);
    Close();
}

void OutputFile::Close() { m_file.Close(); }

}  // namespace vidorra
