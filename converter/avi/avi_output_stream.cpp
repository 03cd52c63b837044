#include "converter/avi/avi_output_stream.h"

#include <algorithm>

#include "converter/avi/avi_output.h"

namespace vidorra {

void AVIOutputStream::SetFormat(const void* data, uint32_t size) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (bytes == nullptr) size = 0;
    m_format.assign(bytes, bytes + size);
}

void AVIOutputStream::SetStreamHeader(const AVIStreamHeader& header) {
    m_header = header;
    m_header.dwLength = 0;
    m_header.dwSuggestedBufferSize = 0;
}

void AVIOutputStream::SetStreamHeaderKeepCounts(const AVIStreamHeader& header) { m_header = header; }

bool AVIOutputStream::Write(uint32_t flags, const void* data, uint32_t size, uint32_t samples) {
    const AVIOutput::ChunkResult result = m_owner->WriteChunk(m_index, flags, data, size);
    // A chunk that never reached the file must not be counted, or the
    // headers would promise frames that are not there.
    if (result == AVIOutput::ChunkResult::Dropped) return false;
    m_header.dwSuggestedBufferSize = std::max(m_header.dwSuggestedBufferSize, size);
    const uint64_t length = static_cast<uint64_t>(m_header.dwLength) + samples;
    m_header.dwLength = static_cast<uint32_t>(std::min<uint64_t>(length, 0xFFFFFFFFu));
    return result == AVIOutput::ChunkResult::Written;
}

}  // namespace vidorra
