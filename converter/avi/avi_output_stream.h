// One stream of an AVI file: its header, its format, and the way chunks
// reach the writer.
//
// Threading: as AVIOutput; not locked.
#pragma once

#include <cstdint>
#include <vector>

#include "converter/avi/avi_records.h"

namespace vidorra {

class AVIOutput;

class AVIOutputStream {
public:
    virtual ~AVIOutputStream() = default;
    AVIOutputStream(const AVIOutputStream&) = delete;
    AVIOutputStream& operator=(const AVIOutputStream&) = delete;

    virtual void SetFormat(const void* data, uint32_t size);
    virtual const uint8_t* GetFormat() const { return m_format.data(); }
    virtual uint32_t GetFormatSize() const { return static_cast<uint32_t>(m_format.size()); }
    virtual const AVIStreamHeader& GetStreamHeader() const { return m_header; }
    // Takes the header with dwLength and dwSuggestedBufferSize cleared; the
    // writer counts them from the chunks.
    virtual void SetStreamHeader(const AVIStreamHeader& header);
    virtual void SetStreamHeaderKeepCounts(const AVIStreamHeader& header);
    // Writes one chunk; flags bit kAviKeyFrame marks a key frame, samples is
    // the number of stream units it holds. Returns false when the chunk was
    // not stored (writer not open, no room left) or a write failed; the
    // writer's error state tells which.
    virtual bool Write(uint32_t flags, const void* data, uint32_t size, uint32_t samples);

    int Index() const { return m_index; }

private:
    friend class AVIOutput;
    AVIOutputStream(AVIOutput* owner, int index) : m_owner(owner), m_index(index) {}

    AVIStreamHeader m_header;
    std::vector<uint8_t> m_format;
    AVIOutput* m_owner;
    int m_index;
};

}  // namespace vidorra
