// The player table seen through the exported functions: how numbers are
// handed out and given back, and how every function rejects a number it
// cannot serve.
#include <gtest/gtest.h>

#include <functional>

#include "api_test_support.h"

namespace qor::apitest {
namespace {

void IgnorePicture(uint32_t, const VideoDecodeFrameInfo*) {}
void IgnoreAudio(uint32_t, const AudioDecodeFrameInfo*) {}
void IgnoreDec(uint32_t, const uint8_t*, uint32_t, const DecodedPictureInfo*, const DecoderPictureDescriptor*) {}
int32_t ReadNothing(uint8_t*, int32_t, uint32_t, int32_t, uint32_t) { return 0; }

TEST(ApiTable, The513thPlayerIsRefusedAndAReleasedNumberIsReusedFirst) {
    LineCapture lines;
    std::vector<int32_t> players;
    for (int i = 0; i < 512; ++i) players.push_back(QORPLAYER_CreatePlayer(0, 0));
    for (int i = 0; i < 512; ++i) ASSERT_EQ(players[size_t(i)], i);
    EXPECT_EQ(QORPLAYER_CreatePlayer(0, 0), -1);
    EXPECT_TRUE(lines.Has("[QOR]too mang player error.\n"));

    QORPLAYER_ReleasePlayer(3);
    EXPECT_EQ(QORPLAYER_CreatePlayer(0, 0), 3);
    for (int32_t id : players) QORPLAYER_ReleasePlayer(uint32_t(id));
    EXPECT_EQ(QORPLAYER_CreatePlayer(0, 0), 0);
    QORPLAYER_ReleasePlayer(0);
}

TEST(ApiTable, ReleasingPlayerThreeOfSixGivesThreeToTheNextCaller) {
    std::vector<int32_t> players;
    for (int i = 0; i < 6; ++i) players.push_back(QORPLAYER_CreatePlayer(0, 0));
    ASSERT_EQ(players, (std::vector<int32_t>{0, 1, 2, 3, 4, 5}));
    QORPLAYER_ReleasePlayer(3);
    EXPECT_EQ(QORPLAYER_CreatePlayer(0, 0), 3);
    EXPECT_EQ(QORPLAYER_CreatePlayer(0, 0), 6);
    for (int i = 0; i <= 6; ++i) QORPLAYER_ReleasePlayer(uint32_t(i));
}

struct RejectCase {
    const char* name;
    std::function<double(uint32_t)> call;
    double failure;
    bool slot;  // slot functions name the number "playerId", engine functions "uPlayerId"
};

std::vector<RejectCase> RejectCases() {
    static uint8_t bytes[1024] = {};
    static const QorRect rect{0, 0, 16, 16};
    static uint32_t position = 0;
    static int32_t width = 0, height = 0;
    static QorWaveFormat wave{};
    return {
        {"QORPLAYER_ReleasePlayer", [](uint32_t p) { QORPLAYER_ReleasePlayer(p); return 0.0; }, 0, true},
        {"QORPLAYER_FileOpen", [](uint32_t p) { return double(QORPLAYER_FileOpen(p, "/nonexistent.mpg", 0)); }, 0, true},
        {"QORPLAYER_FileClose", [](uint32_t p) { return double(QORPLAYER_FileClose(p)); }, 0, true},
        {"QORPLAYER_FileSetEndNotify", [](uint32_t p) { return double(QORPLAYER_FileSetEndNotify(p, 0, 1, 1)); }, 0, true},
        {"QORPLAYER_FileSetEndIndexNotify", [](uint32_t p) { return double(QORPLAYER_FileSetEndIndexNotify(p, 0, 1, 1)); }, 0, true},
        {"QORPLAYER_DisableCreateIndexTable", [](uint32_t p) { return double(QORPLAYER_DisableCreateIndexTable(p)); }, 0, true},
        {"QORPLAYER_DisableCreateIndexFile", [](uint32_t p) { return double(QORPLAYER_DisableCreateIndexFile(p)); }, 0, true},
        {"QORPLAYER_SetFileIndexTable", [](uint32_t p) { return double(QORPLAYER_SetFileIndexTable(p, bytes, 16)); }, 0, true},
        {"QORPLAYER_RegisterReadFileCallBack", [](uint32_t p) { return double(QORPLAYER_RegisterReadFileCallBack(p, ReadNothing, 0, 0, 10)); }, 0, true},
        {"QORPLAYER_StreamOpen", [](uint32_t p) { return double(QORPLAYER_StreamOpen(p, bytes, 1024, 0)); }, 0, true},
        {"QORPLAYER_StreamEnableDataDriven", [](uint32_t p) { QORPLAYER_StreamEnableDataDriven(p, 1); return 0.0; }, 0, true},
        {"QORPLAYER_EnableDataDriven", [](uint32_t p) { QORPLAYER_EnableDataDriven(p, 1); return 0.0; }, 0, true},
        {"QORPLAYER_StreamEnableRemoteFilePlay", [](uint32_t p) { QORPLAYER_StreamEnableRemoteFilePlay(p, 1); return 0.0; }, 0, true},
        {"QORPLAYER_RegisterVideoDecodeCallBack", [](uint32_t p) { return double(QORPLAYER_RegisterVideoDecodeCallBack(p, IgnorePicture, 0)); }, 0, true},
        {"QORPLAYER_RegisterAudioDecodeCallBack", [](uint32_t p) { return double(QORPLAYER_RegisterAudioDecodeCallBack(p, IgnoreAudio, 1000, 0)); }, 0, true},
        {"QORPLAYER_RegisterDecCallBack", [](uint32_t p) { return double(QORPLAYER_RegisterDecCallBack(p, IgnoreDec, 0, 0, 1)); }, 0, true},
        {"QORPLAYER_SetVideoWindow", [](uint32_t p) { return double(QORPLAYER_SetVideoWindow(p, 0, &rect)); }, 0, true},
        {"QORPLAYER_SetDisplayMode", [](uint32_t p) { return double(QORPLAYER_SetDisplayMode(p, 1)); }, 0, true},
        {"QORPLAYER_SetVideoDecoderType", [](uint32_t p) { return double(QORPLAYER_SetVideoDecoderType(p, 1, 0, 0)); }, 0, true},
        {"QORPLAYER_SetAudioDecoderType", [](uint32_t p) { return double(QORPLAYER_SetAudioDecoderType(p, 1, 0, 0)); }, 0, true},
        {"QORPLAYER_EnableVideoPCOutput", [](uint32_t p) { return double(QORPLAYER_EnableVideoPCOutput(p, 1)); }, 0, true},
        {"QORPLAYER_ResetPlayer", [](uint32_t p) { return double(QORPLAYER_ResetPlayer(p)); }, 0, false},
        {"QORPLAYER_GetSdkVersion", [](uint32_t p) { return double(QORPLAYER_GetSdkVersion(p)); }, 0, false},
        {"QORPLAYER_Play", [](uint32_t p) { return double(QORPLAYER_Play(p)); }, 0, false},
        {"QORPLAYER_Pause", [](uint32_t p) { return double(QORPLAYER_Pause(p)); }, 0, false},
        {"QORPLAYER_Stop", [](uint32_t p) { return double(QORPLAYER_Stop(p)); }, 0, false},
        {"QORPLAYER_SetPlaySpeed", [](uint32_t p) { return double(QORPLAYER_SetPlaySpeed(p, 2.0f)); }, 0, false},
        {"QORPLAYER_FileStepPlay", [](uint32_t p) { return double(QORPLAYER_FileStepPlay(p, 1)); }, 0, false},
        {"QORPLAYER_FileBackPlay", [](uint32_t p) { QORPLAYER_FileBackPlay(p); return 0.0; }, 0, false},
        {"QORPLAYER_FileSetPosition", [](uint32_t p) { return double(QORPLAYER_FileSetPosition(p, 0.5f)); }, 0, false},
        {"QORPLAYER_FileSetPlayTime", [](uint32_t p) { return double(QORPLAYER_FileSetPlayTime(p, 100)); }, 0, false},
        {"QORPLAYER_FileSetPlayFrame", [](uint32_t p) { return double(QORPLAYER_FileSetPlayFrame(p, 3)); }, 0, false},
        {"QORPLAYER_FileGetPosition", [](uint32_t p) { return double(QORPLAYER_FileGetPosition(p)); }, 0, false},
        {"QORPLAYER_FileGetTotalTime", [](uint32_t p) { return double(QORPLAYER_FileGetTotalTime(p)); }, 0, false},
        {"QORPLAYER_FileGetPlayedTime", [](uint32_t p) { return double(QORPLAYER_FileGetPlayedTime(p)); }, 0, false},
        {"QORPLAYER_FileGetTotalFrame", [](uint32_t p) { return double(QORPLAYER_FileGetTotalFrame(p)); }, 0, false},
        {"QORPLAYER_FileGetPlayedFrame", [](uint32_t p) { return double(QORPLAYER_FileGetPlayedFrame(p)); }, 0, false},
        {"QORPLAYER_GetKeyFramePos", [](uint32_t p) { return double(QORPLAYER_GetKeyFramePos(p, &position)); }, 0, false},
        {"QORPLAYER_GetNextKeyFramePos", [](uint32_t p) { return double(QORPLAYER_GetNextKeyFramePos(p, &position)); }, 0, false},
        {"QORPLAYER_FileResetEndOfFile", [](uint32_t p) { return double(QORPLAYER_FileResetEndOfFile(p)); }, 0, false},
        {"QORPLAYER_StreamWriteToBuf", [](uint32_t p) { return double(QORPLAYER_StreamWriteToBuf(p, bytes, 16, 0, 1, 0)); }, 0, false},
        {"QORPLAYER_StreamGetBufferedFrames", [](uint32_t p) { return double(QORPLAYER_StreamGetBufferedFrames(p)); }, 0, false},
        {"QORPLAYER_StreamGetFreeBufSize", [](uint32_t p) { return double(QORPLAYER_StreamGetFreeBufSize(p)); }, 0, false},
        {"QORPLAYER_StreamEmptyBuf", [](uint32_t p) { return double(QORPLAYER_StreamEmptyBuf(p)); }, 0, false},
        {"QORPLAYER_StreamSetDelayFrames", [](uint32_t p) { return double(QORPLAYER_StreamSetDelayFrames(p, 5)); }, 0, false},
        {"QORPLAYER_StreamSetBufferedFrames", [](uint32_t p) { return double(QORPLAYER_StreamSetBufferedFrames(p, 5)); }, 0, false},
        {"QORPLAYER_DisableSynchronize", [](uint32_t p) { return double(QORPLAYER_DisableSynchronize(p)); }, 0, false},
        {"QORPLAYER_ThrownFrames", [](uint32_t p) { return double(QORPLAYER_ThrownFrames(p, 1)); }, 0, false},
        {"QORPLAYER_UnRegisterVideoDecodeCallBack", [](uint32_t p) { return double(QORPLAYER_UnRegisterVideoDecodeCallBack(p, 0)); }, 0, false},
        {"QORPLAYER_UnRegisterAudioDecodeCallBack", [](uint32_t p) { return double(QORPLAYER_UnRegisterAudioDecodeCallBack(p, 0)); }, 0, false},
        {"QORPLAYER_UnRegisterDecCallBack", [](uint32_t p) { return double(QORPLAYER_UnRegisterDecCallBack(p, 0)); }, 0, false},
        {"QORPLAYER_FullScreen", [](uint32_t p) { return double(QORPLAYER_FullScreen(p, 1)); }, 0, false},
        {"QORPLAYER_ZoomInSrcRect", [](uint32_t p) { return double(QORPLAYER_ZoomInSrcRect(p, &rect)); }, 0, false},
        {"QORPLAYER_ZoomInSrcRectEx", [](uint32_t p) { return double(QORPLAYER_ZoomInSrcRectEx(p, &rect)); }, 0, false},
        {"QORPLAYER_RefreshWindow", [](uint32_t p) { return double(QORPLAYER_RefreshWindow(p)); }, 0, false},
        {"QORPLAYER_SetBrightness", [](uint32_t p) { QORPLAYER_SetBrightness(p, 60); return 0.0; }, 0, false},
        {"QORPLAYER_SetContrast", [](uint32_t p) { QORPLAYER_SetContrast(p, 60); return 0.0; }, 0, false},
        {"QORPLAYER_SetSaturation", [](uint32_t p) { QORPLAYER_SetSaturation(p, 60); return 0.0; }, 0, false},
        {"QORPLAYER_SetPostFilter", [](uint32_t p) { return double(QORPLAYER_SetPostFilter(p, 1)); }, 0, false},
        {"QORPLAYER_GetPictureSize", [](uint32_t p) { return double(QORPLAYER_GetPictureSize(p, &width, &height)); }, 0, false},
        {"QORPLAYER_GetWHInfo", [](uint32_t p) { QORPLAYER_GetWHInfo(p, 0, &width, &height); return 0.0; }, 0, false},
        {"QORPLAYER_GetBmpFileSize", [](uint32_t p) { return double(QORPLAYER_GetBmpFileSize(p)); }, 0, false},
        {"QORPLAYER_CaptureBitmap", [](uint32_t p) { return double(QORPLAYER_CaptureBitmap(p, "/tmp/x.bmp", 0)); }, 0, false},
        {"QORPLAYER_EnableAudio", [](uint32_t p) { QORPLAYER_EnableAudio(p, 1); return 0.0; }, 0, false},
        {"QORPLAYER_SetVolume", [](uint32_t p) { QORPLAYER_SetVolume(p, 5000); return 0.0; }, 0, false},
        {"QORPLAYER_GetVolume", [](uint32_t p) { return double(QORPLAYER_GetVolume(p)); }, -1, false},
        {"QORPLAYER_GetAudioWaveOutInfo", [](uint32_t p) { return double(QORPLAYER_GetAudioWaveOutInfo(p, &wave)); }, 0, false},
        {"QORPLAYER_GetMediaStreamType", [](uint32_t p) { return double(QORPLAYER_GetMediaStreamType(p)); }, 0, false},
        {"QORPLAYER_GetFileInfo", [](uint32_t p) {
             const FileInfo info = QORPLAYER_GetFileInfo(p);
             double sum = 0;
             for (int32_t word : info.iWord) sum += word != 0 ? 1 : 0;
             return sum;
         }, 0, false},
        {"QORPLAYER_EnableAudioPCOutput", [](uint32_t p) { return double(QORPLAYER_EnableAudioPCOutput(p, 1)); }, 0, false},
        {"QORPLAYER_EnableVideoTVAnalogOutput", [](uint32_t p) { return double(QORPLAYER_EnableVideoTVAnalogOutput(p, 1)); }, 0, false},
        {"QORPLAYER_EnableAudioTVAnalogOutput", [](uint32_t p) { return double(QORPLAYER_EnableAudioTVAnalogOutput(p, 1)); }, 0, false},
        {"QORPLAYER_DspTest", [](uint32_t p) { return double(QORPLAYER_DspTest(p, 1)); }, 0, false},
        {"QORPLAYER_FileCreateIndex", [](uint32_t p) { return double(QORPLAYER_FileCreateIndex(p, 0, 0, 0)); }, 0, false},
    };
}

TEST(ApiTable, Number512FailsInEveryFunctionWithItsOwnLine) {
    for (const RejectCase& c : RejectCases()) {
        SCOPED_TRACE(c.name);
        LineCapture lines;
        EXPECT_EQ(c.call(512), c.failure);
        const std::string expected = c.slot ? std::string("[QOR]") + c.name + "() playerId error, playerId=512.\n"
                                            : std::string("[QOR]") + c.name + "() uPlayerId=512 error.\n";
        EXPECT_TRUE(lines.Has(expected)) << expected;
    }
}

TEST(ApiTable, EngineFunctionsFailOnACreatedPlayerWithNothingOpen) {
    PlayerGuard player;
    ASSERT_TRUE(player.Valid());
    for (const RejectCase& c : RejectCases()) {
        if (c.slot) continue;
        SCOPED_TRACE(c.name);
        LineCapture lines;
        EXPECT_EQ(c.call(player.Id()), c.failure);
        EXPECT_TRUE(lines.Has(std::string("[QOR]") + c.name + "() uPlayerId=" + std::to_string(player.Id()) + " error.\n"));
    }
}

TEST(ApiTable, ConstantFunctionsGiveTheirFixedResults) {
    EXPECT_EQ(QORPLAYER_GetLastError(7), 0);
    EXPECT_EQ(QORPLAYER_FileCheckIndex(7), 0);
    EXPECT_EQ(QORPLAYER_GetVideoAdapterCaps(1), -1);
    EXPECT_EQ(QORPLAYER_FilePlayKeyFrame(1, 2, 3), 0);
    EXPECT_EQ(QORPLAYER_GetDecoderChannelInfo(1, 2, 3), 0);
    EXPECT_EQ(QORPLAYER_FileFixIndex(1, 2), 0);
    EXPECT_EQ(QORPLAYER_StreamSetBuf(1, 2), 0);
    EXPECT_EQ(QORPLAYER_FileBeginIndex(1, 2, 3, 4), 0);
    EXPECT_EQ(QORPLAYER_ReadDecoderUserInfo(1, 2, 3, 4), 0);
    EXPECT_EQ(QORPLAYER_SetErrorNotify(1, 2, 3, 4), 0);
    EXPECT_EQ(QORPLAYER_WriteDecoderUserInfo(1, 2, 3, 4), 0);
}

TEST(ApiTable, ArgumentChecksComeBeforeTheTable) {
    LineCapture lines;
    EXPECT_EQ(QORPLAYER_FileOpen(0, nullptr, 0), 0);
    EXPECT_TRUE(lines.Has("[QOR]file name is NULL error.\n"));
    EXPECT_EQ(QORPLAYER_SetFileIndexTable(0, nullptr, 0), 0);
    EXPECT_TRUE(lines.Has("[QOR]QORPLAYER_SetFileIndexTable() parameters error.\n"));
    // A null table with a length would have the reader walk memory it was never given.
    lines.Clear();
    EXPECT_EQ(QORPLAYER_SetFileIndexTable(0, nullptr, 64), 0);
    EXPECT_TRUE(lines.Has("[QOR]QORPLAYER_SetFileIndexTable() parameters error.\n"));
    EXPECT_EQ(QORPLAYER_ZoomInSrcRect(0, nullptr), 0);
    EXPECT_TRUE(lines.Has("[QOR]QORPLAYER_ZoomInSrcRect() NULL pRect error.\n"));
    EXPECT_EQ(QORPLAYER_ZoomInSrcRectEx(0, nullptr), 0);
    EXPECT_TRUE(lines.Has("[QOR]QORPLAYER_ZoomInSrcRectEx() NULL pRect error.\n"));
    EXPECT_EQ(QORPLAYER_SetVideoWindow(0, 0, nullptr), 0);
    EXPECT_EQ(QORPLAYER_FileSetEndNotify(0, 0, 1, -1), 0);
    EXPECT_EQ(QORPLAYER_FileSetEndIndexNotify(0, 0, 1, -1), 0);
}

TEST(ApiTable, SlotSettingsWithoutAnEngineGiveTheirDocumentedResults) {
    PlayerGuard player;
    ASSERT_TRUE(player.Valid());
    LineCapture lines;
    const std::string id = std::to_string(player.Id());
    EXPECT_EQ(QORPLAYER_RegisterVideoDecodeCallBack(player.Id(), IgnorePicture, 1), 0);
    EXPECT_EQ(QORPLAYER_RegisterAudioDecodeCallBack(player.Id(), IgnoreAudio, 1000, 1), 0);
    EXPECT_EQ(QORPLAYER_RegisterDecCallBack(player.Id(), IgnoreDec, 0, 1, 1), 0);
    EXPECT_TRUE(lines.Has("[QOR]QORPLAYER_RegisterDecCallBack() uPlayerId=" + id + " error.\n"));
    EXPECT_EQ(QORPLAYER_RegisterVideoDecodeCallBack(player.Id(), nullptr, 1), 0);
    EXPECT_EQ(QORPLAYER_FileSetEndNotify(player.Id(), 0, 0x464, 99), 1);
    EXPECT_TRUE(lines.Has("[QOR]QORPLAYER_FileSetEndNotify() uPlayerId=" + id + " error.\n"));
    EXPECT_EQ(QORPLAYER_FileSetEndIndexNotify(player.Id(), 0, 0x465, 99), 0);
    EXPECT_EQ(QORPLAYER_SetFileIndexTable(player.Id(), reinterpret_cast<const uint8_t*>("0123456789abcdef"), 16), 1);
    EXPECT_TRUE(lines.Has("[QOR]QORPLAYER_SetFileIndexTable() should be called after FileOpen().\n"));
    EXPECT_EQ(QORPLAYER_RegisterReadFileCallBack(player.Id(), ReadNothing, 0, 0, 10), 1);
    EXPECT_EQ(QORPLAYER_RegisterReadFileCallBack(player.Id(), nullptr, 0, 0, 10), 0);
    EXPECT_EQ(QORPLAYER_DisableCreateIndexTable(player.Id()), 1);
    EXPECT_EQ(QORPLAYER_DisableCreateIndexFile(player.Id()), 1);
    EXPECT_EQ(QORPLAYER_SetDisplayMode(player.Id(), 7), 1);
    EXPECT_EQ(QORPLAYER_FileClose(player.Id()), 1);
}

TEST(ApiTable, OpensWithoutUsableInputFailWithTheInitLine) {
    PlayerGuard player;
    ASSERT_TRUE(player.Valid());
    const uint8_t zeros[1024] = {};
    struct Case {
        const char* name;
        std::function<int32_t()> open;
    };
    const Case cases[] = {
        {"missing file", [&] { return QORPLAYER_FileOpen(player.Id(), "/nonexistent/recording.mpg", 0); }},
        {"null header", [&] { return QORPLAYER_StreamOpen(player.Id(), nullptr, 1024, 0); }},
        {"negative length", [&] { return QORPLAYER_StreamOpen(player.Id(), zeros, -5, 0); }},
        {"header of zeros", [&] { return QORPLAYER_StreamOpen(player.Id(), zeros, 1024, 0); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LineCapture lines;
        EXPECT_EQ(c.open(), 0);
        EXPECT_TRUE(lines.Has("[QOR]call m_pMpegPlayer->Init() error.\n"));
        // No engine was left behind.
        EXPECT_EQ(QORPLAYER_Play(player.Id()), 0);
    }
}

TEST(ApiTable, DecoderCardCountIsZeroWithoutACard) {
    int32_t count = 0;
    EXPECT_EQ(QORPLAYER_GetTotalDecoderDeviceCount(0, &count), 0);
    EXPECT_EQ(count, 0);
}

}  // namespace
}  // namespace qor::apitest
