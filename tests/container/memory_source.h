// A recording held in memory behind the read callback.
#pragma once

#include <algorithm>
#include <cstring>
#include <vector>

#include "player/container/player_file_info.h"

namespace qor::test {

struct MemorySource {
    std::vector<uint8_t> bytes;
    int maxPerCall = 1 << 30;  // deliver at most this much per call
    int calls = 0;

    static int Read(uint8_t* pBuffer, int iCount, uint32_t uPosition, int /*iReserved*/, void* pUser) {
        auto* self = static_cast<MemorySource*>(pUser);
        ++self->calls;
        if (uPosition >= self->bytes.size()) return 0;
        int n = int(std::min<size_t>(size_t(std::min(iCount, self->maxPerCall)), self->bytes.size() - uPosition));
        std::memcpy(pBuffer, self->bytes.data() + uPosition, size_t(n));
        return n;
    }
    void Attach(PlayerFileInfo* info) {
        info->fpReadCallBack = &MemorySource::Read;
        info->pReadUser = this;
        info->iFileSize = int64_t(bytes.size());
    }
};

}  // namespace qor::test
