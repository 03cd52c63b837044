// The recording reader: either the disk file or the caller's read callback.
// Several controllers may be open on one recording at once (the player's and
// the index thread's); each one is used by a single thread.
#pragma once

#include <cstdint>

#include "platform/file.h"
#include "player/container/player_file_info.h"

namespace qor {

constexpr int64_t kMaxRecordingSize = int64_t(1) << 31;  // 2 GiB, not supported
constexpr uint8_t kReadPadByte = 0x55;

class CFileController {
public:
    CFileController() = default;
    ~CFileController();
    CFileController(const CFileController&) = delete;
    CFileController& operator=(const CFileController&) = delete;

    // Callback mode when the file information carries a read callback or no
    // name is given; otherwise opens the file for reading (read-write as a
    // fallback, for recordings still being written).
    bool Create(const char* pFileName, PlayerFileInfo* pFileInfo);

    // iOrigin: 0 start, 1 current, 2 end. Returns the new position or -1.
    int64_t Seek(int64_t iOffset, int iOrigin);

    // Reads up to iCount bytes. The part of the buffer not filled (all of it
    // on failure) is set to 0x55 so that searches never see stale bytes.
    bool Read(uint8_t* pBuffer, int iCount, int* pBytesRead);

    // File size, or -1 when it is 2 GiB or more (or unknown).
    int64_t Size();

    void Close();

    bool IsCallBackMode() const { return m_bCallBackMode; }

private:
    PlayerFileInfo* m_pFileInfo = nullptr;
    File m_file;
    bool m_bCallBackMode = false;
    uint32_t m_uPosition = 0;  // callback mode only
};

}  // namespace qor
