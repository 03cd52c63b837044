// Exported functions: window, picture, sound and information.
#include <cstring>

#include "platform/pci_devices.h"
#include "player/api/player_table.h"
#include "player/api/window_outputs.h"

using namespace qor;
using namespace qor::api;

namespace {

WindowVideoOutput* WindowOutput(CMpegPlayer& engine) {
    return dynamic_cast<WindowVideoOutput*>(engine.VideoOutput());
}

DeviceSoundOutput* DeviceOutput(CMpegPlayer& engine) {
    return dynamic_cast<DeviceSoundOutput*>(engine.SoundOutput());
}

DisplayRect ToDisplayRect(const QorRect& rect) { return DisplayRect{rect.left, rect.top, rect.right, rect.bottom}; }

int32_t SetWindow(const char* pName, uint32_t uPlayerId, QorWindow hWnd, const QorRect* pRect) {
    if (hWnd == 0 && pRect == nullptr) return 0;
    return WithSlot(pName, uPlayerId, 0, [&](PlayerSlot& slot) {
        slot.hWnd = hWnd;
        slot.bHasRect = pRect != nullptr;
        slot.rect = pRect != nullptr ? *pRect : QorRect{0, 0, 0, 0};
        CMpegPlayer* engine = slot.Engine();
        if (engine == nullptr) return 1;
        const DisplayRect rect = ToDisplayRect(slot.rect);
        return engine->SetVideoWindow(hWnd, slot.bHasRect ? &rect : nullptr) ? 1 : 0;
    });
}

int32_t Zoom(const char* pName, uint32_t uPlayerId, const QorRect* pRect) {
    if (pRect == nullptr) {
        DebugOutput("[QOR]%s() NULL pRect error.\n", pName);
        return 0;
    }
    return WithEngine(pName, uPlayerId, 0, [pRect](PlayerSlot&, CMpegPlayer& engine) {
        WindowVideoOutput* output = WindowOutput(engine);
        if (output == nullptr) return 0;
        const bool ok = output->ZoomInSrcRect(ToDisplayRect(*pRect));
        if (engine.State() != kStatePlaying) output->Redraw();
        return ok ? 1 : 0;
    });
}

// Size with a coded width of 528 shown as 704, as the recorders' viewers do.
bool ReportedSize(CMpegPlayer& engine, int32_t* pWidth, int32_t* pHeight) {
    int width = 0, height = 0;
    if (!engine.GetPictureSize(&width, &height)) return false;
    if (width == 528) width = 704;
    if (pWidth != nullptr) *pWidth = width;
    if (pHeight != nullptr) *pHeight = height;
    return true;
}

int32_t HardwarePathOnly(const char* pName, uint32_t uPlayerId) {
    // No hardware decoder card is driven here, so the card's outputs cannot be switched.
    return WithEngine(pName, uPlayerId, 0, [](PlayerSlot&, CMpegPlayer&) { return 0; });
}

}  // namespace

extern "C" {

QORPLAYER_API int32_t QORPLAYER_SetVideoWindow(uint32_t uPlayerId, QorWindow hWnd, const QorRect* pRect) {
    return SetWindow("QORPLAYER_SetVideoWindow", uPlayerId, hWnd, pRect);
}

QORPLAYER_API int32_t QORPLAYER_SetVideoWindowForStream(uint32_t uPlayerId, QorWindow hWnd, const QorRect* pRect) {
    return SetWindow("QORPLAYER_SetVideoWindowForStream", uPlayerId, hWnd, pRect);
}

QORPLAYER_API int32_t QORPLAYER_SetDisplayMode(uint32_t uPlayerId, int32_t iMode) {
    return WithSlot("QORPLAYER_SetDisplayMode", uPlayerId, 0, [iMode](PlayerSlot& slot) {
        if (iMode >= 0 && iMode <= 2) slot.iDisplayMode = iMode;
        CMpegPlayer* engine = slot.Engine();
        if (engine == nullptr) return 1;
        return engine->SetDisplayMode(slot.iDisplayMode) ? 1 : 0;
    });
}

QORPLAYER_API int32_t QORPLAYER_ZoomInSrcRect(uint32_t uPlayerId, const QorRect* pRect) {
    return Zoom("QORPLAYER_ZoomInSrcRect", uPlayerId, pRect);
}

QORPLAYER_API int32_t QORPLAYER_ZoomInSrcRectEx(uint32_t uPlayerId, const QorRect* pRect) {
    return Zoom("QORPLAYER_ZoomInSrcRectEx", uPlayerId, pRect);
}

QORPLAYER_API int32_t QORPLAYER_RefreshWindow(uint32_t uPlayerId) {
    return WithEngine("QORPLAYER_RefreshWindow", uPlayerId, 0,
                      [](PlayerSlot&, CMpegPlayer& engine) { return engine.RefreshWindow() ? 1 : 0; });
}

QORPLAYER_API void QORPLAYER_SetBrightness(uint32_t uPlayerId, int32_t iValue) {
    WithEngine("QORPLAYER_SetBrightness", uPlayerId, 0, [iValue](PlayerSlot&, CMpegPlayer& engine) {
        if (WindowVideoOutput* output = WindowOutput(engine)) output->SetBrightness(iValue);
        return 0;
    });
}

QORPLAYER_API void QORPLAYER_SetContrast(uint32_t uPlayerId, int32_t iValue) {
    WithEngine("QORPLAYER_SetContrast", uPlayerId, 0, [iValue](PlayerSlot&, CMpegPlayer& engine) {
        if (WindowVideoOutput* output = WindowOutput(engine)) output->SetContrast(iValue);
        return 0;
    });
}

QORPLAYER_API void QORPLAYER_SetSaturation(uint32_t uPlayerId, int32_t iValue) {
    WithEngine("QORPLAYER_SetSaturation", uPlayerId, 0, [iValue](PlayerSlot&, CMpegPlayer& engine) {
        if (WindowVideoOutput* output = WindowOutput(engine)) output->SetSaturation(iValue);
        return 0;
    });
}

QORPLAYER_API int32_t QORPLAYER_SetPostFilter(uint32_t uPlayerId, int32_t iLevel) {
    return WithEngine("QORPLAYER_SetPostFilter", uPlayerId, 0,
                      [iLevel](PlayerSlot&, CMpegPlayer& engine) { return engine.SetPostFilter(iLevel) ? 1 : 0; });
}

QORPLAYER_API int32_t QORPLAYER_GetPictureSize(uint32_t uPlayerId, int32_t* pWidth, int32_t* pHeight) {
    return WithEngine("QORPLAYER_GetPictureSize", uPlayerId, 0, [=](PlayerSlot&, CMpegPlayer& engine) {
        return ReportedSize(engine, pWidth, pHeight) ? 1 : 0;
    });
}

QORPLAYER_API void QORPLAYER_GetWHInfo(uint32_t uPlayerId, int32_t, int32_t* pWidth, int32_t* pHeight) {
    WithEngine("QORPLAYER_GetWHInfo", uPlayerId, 0, [=](PlayerSlot&, CMpegPlayer& engine) {
        ReportedSize(engine, pWidth, pHeight);
        return 0;
    });
}

QORPLAYER_API int32_t QORPLAYER_GetBmpFileSize(uint32_t uPlayerId) {
    return WithEngine("QORPLAYER_GetBmpFileSize", uPlayerId, 0, [](PlayerSlot&, CMpegPlayer& engine) {
        int32_t width = 0, height = 0;
        ReportedSize(engine, &width, &height);
        return (height * width + 18) * 3;
    });
}

QORPLAYER_API int32_t QORPLAYER_CaptureBitmap(uint32_t uPlayerId, const char* pFileName, int32_t) {
    return WithEngine("QORPLAYER_CaptureBitmap", uPlayerId, 0, [pFileName](PlayerSlot&, CMpegPlayer& engine) {
        WindowVideoOutput* output = WindowOutput(engine);
        if (output == nullptr) {
            DebugOutput("[QOR]CaptureBitmap() NULL m_pVideoPlayer error.\n");
            return 0;
        }
        if (pFileName == nullptr) return 0;
        return output->CaptureBitmap(pFileName) ? 1 : 0;
    });
}

QORPLAYER_API void QORPLAYER_EnableAudio(uint32_t uPlayerId, int32_t bEnable) {
    WithEngine("QORPLAYER_EnableAudio", uPlayerId, 0, [bEnable](PlayerSlot&, CMpegPlayer& engine) {
        engine.EnableAudio(bEnable != 0);
        return 0;
    });
}

QORPLAYER_API void QORPLAYER_SetVolume(uint32_t uPlayerId, int32_t iVolume) {
    WithEngine("QORPLAYER_SetVolume", uPlayerId, 0, [iVolume](PlayerSlot&, CMpegPlayer& engine) {
        if (DeviceSoundOutput* output = DeviceOutput(engine)) output->SetVolume(iVolume);
        return 0;
    });
}

QORPLAYER_API int32_t QORPLAYER_GetVolume(uint32_t uPlayerId) {
    return WithEngine("QORPLAYER_GetVolume", uPlayerId, -1, [](PlayerSlot&, CMpegPlayer& engine) {
        DeviceSoundOutput* output = DeviceOutput(engine);
        return output != nullptr ? output->GetVolume() : 0;
    });
}

QORPLAYER_API int32_t QORPLAYER_GetAudioWaveOutInfo(uint32_t uPlayerId, QorWaveFormat* pWaveFormat) {
    if (pWaveFormat == nullptr) return 0;
    return WithEngine("QORPLAYER_GetAudioWaveOutInfo", uPlayerId, 0, [pWaveFormat](PlayerSlot&, CMpegPlayer& engine) {
        WaveFormat format;
        if (!engine.GetAudioWaveOutInfo(&format)) return 0;
        static_assert(sizeof(QorWaveFormat) == sizeof(WaveFormat), "both wave format records are 18 bytes");
        std::memcpy(pWaveFormat, &format, sizeof format);
        return 1;
    });
}

QORPLAYER_API int32_t QORPLAYER_GetMediaStreamType(uint32_t uPlayerId) {
    return WithEngine("QORPLAYER_GetMediaStreamType", uPlayerId, 0, [](PlayerSlot&, CMpegPlayer& engine) {
        const int type = engine.GetMediaStreamType();
        return type >= 0 && type <= 2 ? type : 4;
    });
}

QORPLAYER_API FileInfo QORPLAYER_GetFileInfo(uint32_t uPlayerId) {
    FileInfo zero{};
    return WithEngine("QORPLAYER_GetFileInfo", uPlayerId, zero, [](PlayerSlot&, CMpegPlayer& engine) {
        FileInfo info{};
        const PlayerFileInfo* facts = engine.FileInfo();
        info.iWord[3] = facts->iFrameRate;
        uint32_t words[9];
        std::memcpy(words, info.iWord, sizeof words);
        engine.FillParserFileInfoWords(words);
        std::memcpy(info.iWord, words, sizeof words);
        WaveFormat format;
        if (engine.GetAudioWaveOutInfo(&format) && format.wBitsPerSample != 0) {
            info.iWord[0] = static_cast<int32_t>(format.nAvgBytesPerSec * 8u / format.wBitsPerSample);
            info.iWord[1] = format.nChannels;
        }
        ReportedSize(engine, &info.iWord[6], &info.iWord[7]);
        info.iWord[8] = static_cast<int32_t>(engine.SecondTime());
        return info;
    });
}

QORPLAYER_API int32_t QORPLAYER_SetVideoDecoderType(uint32_t uPlayerId, int32_t iType, int32_t iParam1, int32_t iParam2) {
    return WithSlot("QORPLAYER_SetVideoDecoderType", uPlayerId, 0, [=](PlayerSlot& slot) {
        if (iType == 1) {
            slot.bSoftwareVideo = false;
            slot.iCardParam1 = iParam1;
            slot.iCardParam2 = iParam2;
        }
        return 1;
    });
}

QORPLAYER_API int32_t QORPLAYER_SetAudioDecoderType(uint32_t uPlayerId, int32_t iType, int32_t, int32_t) {
    return WithSlot("QORPLAYER_SetAudioDecoderType", uPlayerId, 0, [iType](PlayerSlot& slot) {
        if (iType == 1) slot.bSoftwareAudio = false;
        return 1;
    });
}

QORPLAYER_API int32_t QORPLAYER_EnableVideoPCOutput(uint32_t uPlayerId, int32_t bEnable) {
    return WithSlot("QORPLAYER_EnableVideoPCOutput", uPlayerId, 0, [&](PlayerSlot& slot) {
        slot.bVideoOutput = bEnable != 0;
        CMpegPlayer* engine = slot.Engine();
        if (engine == nullptr) {
            DebugOutput("[QOR]QORPLAYER_EnableVideoPCOutput() uPlayerId=%d error.\n", PrintedId(uPlayerId));
            return 0;
        }
        return engine->EnableVideoOutput(slot.bVideoOutput) ? 1 : 0;
    });
}

QORPLAYER_API int32_t QORPLAYER_EnableAudioPCOutput(uint32_t uPlayerId, int32_t) {
    return HardwarePathOnly("QORPLAYER_EnableAudioPCOutput", uPlayerId);
}

QORPLAYER_API int32_t QORPLAYER_EnableVideoTVAnalogOutput(uint32_t uPlayerId, int32_t) {
    return HardwarePathOnly("QORPLAYER_EnableVideoTVAnalogOutput", uPlayerId);
}

QORPLAYER_API int32_t QORPLAYER_EnableAudioTVAnalogOutput(uint32_t uPlayerId, int32_t) {
    return HardwarePathOnly("QORPLAYER_EnableAudioTVAnalogOutput", uPlayerId);
}

QORPLAYER_API int32_t QORPLAYER_DspTest(uint32_t uPlayerId, int32_t) {
    return HardwarePathOnly("QORPLAYER_DspTest", uPlayerId);
}

QORPLAYER_API int32_t QORPLAYER_GetTotalDecoderDeviceCount(int32_t, int32_t* pCount) {
    const int32_t count = CountDecoderCards();
    if (pCount != nullptr) *pCount = count;
    return count;
}

}  // extern "C"
