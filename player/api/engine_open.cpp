#include "player/api/engine_open.h"

#include <new>

#include "player/api/window_outputs.h"
#include "player/decoding/decoder_components.h"

namespace qor::api {

namespace {

// The engine reads through the library's read-file callback, whose user
// value is a 32-bit number rather than a pointer.
int ReadFileAdapter(uint8_t* pBuffer, int iCount, uint32_t uPosition, int iReserved, void* pUser) {
    const auto* open = static_cast<const OpenEngine*>(pUser);
    if (open == nullptr || open->fpReadFile == nullptr) return 0;
    return open->fpReadFile(pBuffer, iCount, uPosition, iReserved, open->uReadFileUser);
}

}  // namespace

bool OpenEngineOnSlot(PlayerSlot& slot, uint32_t uPlayerId, const OpenRequest& request) {
    // Destroyed here, under the lock, before the new engine exists.
    std::shared_ptr<OpenEngine> previous = DetachEngine(slot);
    previous.reset();
    slot.iOpenMode = request.bFileMode ? kOpenFile : kOpenStream;

    auto open = std::make_shared<OpenEngine>();
    bool constructed = false;
    open->pEngine.reset(new (std::nothrow) CMpegPlayer(&constructed));
    if (!open->pEngine || !constructed) {
        DebugOutput("%s", request.pConstructFailLine);
        return false;
    }
    CMpegPlayer& engine = *open->pEngine;
    engine.SetPlayerId(uPlayerId);
    engine.SetOutputFactory(OutputFactoryFor(uPlayerId, slot.hWnd));
    if (const DecoderComponents* components = GetDecoderComponents()) engine.SetDecoderComponents(components);
    if (request.bFileMode && slot.fpReadFile != nullptr) {
        open->fpReadFile = slot.fpReadFile;
        open->uReadFileUser = slot.uReadFileUser;
        engine.SetReadFileCallBack(&ReadFileAdapter, open.get(), slot.uReadFileSize);
    }
    if (slot.fpVideoDecodeCallBack != nullptr) engine.SetVideoDecodeCallBack(slot.fpVideoDecodeCallBack, slot.uCallBackUser);
    if (slot.fpDecCallBack != nullptr) engine.SetDecCallBack(slot.fpDecCallBack, slot.uCallBackUser, slot.bWholeBlock);
    if (slot.fpAudioDecodeCallBack != nullptr) {
        engine.SetAudioDecodeCallBack(slot.fpAudioDecodeCallBack, slot.iAudioLeadTime, slot.uAudioUser);
    }
    engine.SetVideoDecoderType(slot.bSoftwareVideo, slot.iCardParam1, slot.iCardParam2);
    engine.SetAudioDecoderType(slot.bSoftwareAudio);

    EngineInitParams params;
    params.iOpenMode = request.bFileMode ? kOpenFile : kOpenStream;
    params.bSoftwareVideo = slot.bSoftwareVideo;
    const DisplayRect rect{slot.rect.left, slot.rect.top, slot.rect.right, slot.rect.bottom};
    params.iDisplayMode = slot.iDisplayMode;
    params.hWnd = slot.hWnd;
    params.pRect = slot.bHasRect ? &rect : nullptr;
    params.bVideoOutput = slot.bVideoOutput;
    if (request.bFileMode) {
        // With a read-file callback the bytes come from the caller and the name is only a label.
        params.fileName = request.pFileName != nullptr ? request.pFileName : "";
        params.bFollowGrowingFile = request.bFollowGrowingFile;
        params.bCreateIndexTable = slot.bCreateIndexTable;
        params.bCreateIndexFile = slot.bCreateIndexFile;
    } else {
        params.pHeader = request.pHeader;
        params.iHeaderLength = request.iHeaderLength;
        params.bCreateIndexTable = false;
        params.bCreateIndexFile = false;
    }
    if (!engine.Init(params)) {
        DebugOutput("[QOR]call m_pMpegPlayer->Init() error.\n");
        return false;
    }
    slot.pOpen = std::move(open);
    return true;
}

}  // namespace qor::api
