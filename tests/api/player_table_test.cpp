// The table, start-up and decoder version check behind the exported functions.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "platform/debug_output.h"
#include "player/api/player_table.h"

namespace qor::api {
namespace {

class Lines {
public:
    Lines() {
        m_previous = SetDebugSink([this](std::string_view line) {
            std::lock_guard<std::mutex> guard(m_lock);
            m_lines.emplace_back(line);
        });
    }
    ~Lines() { SetDebugSink(m_previous); }
    int Count(const std::string& line) const {
        std::lock_guard<std::mutex> guard(m_lock);
        int n = 0;
        for (const std::string& l : m_lines) n += l == line ? 1 : 0;
        return n;
    }

private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_lines;
    DebugSink m_previous;
};

uint32_t GoodVersion() { return 0x01000001; }
uint32_t NewerVersion() { return 0x01000002; }
uint32_t OldVersion() { return 0x00010001; }

TEST(PlayerTable, LoadingFoundTheBuildsDecoderWithTheRightVersion) {
    EXPECT_TRUE(Library().bDecoderVersionGood.load());
    EXPECT_EQ(Library().slots.size(), 512u);
    EXPECT_EQ(Library().iAudioTolerance, 400);
    EXPECT_EQ(Library().iHardAudioWindowLow, 0);
    EXPECT_EQ(Library().iHardAudioWindowHigh, 100);
    EXPECT_FLOAT_EQ(Library().fHalfFactor, 0.5f);
}

TEST(PlayerTable, VersionCheckBeepsThreeTimesAndRefusesOpensUntilGood) {
    struct Case {
        uint32_t (*version)();
        bool good;
    };
    for (const Case& c : {Case{GoodVersion, true}, Case{NewerVersion, false}, Case{OldVersion, false},
                          Case{nullptr, false}}) {
        Lines lines;
        std::vector<std::pair<int, int>> beeps;
        EXPECT_EQ(CheckDecoderVersion(c.version, [&](int hz, int ms) { beeps.emplace_back(hz, ms); }), c.good);
        if (c.good) {
            EXPECT_TRUE(beeps.empty());
            EXPECT_EQ(lines.Count("[QOR]Marlin decoder dll version error.\n"), 0);
            continue;
        }
        EXPECT_EQ(beeps, (std::vector<std::pair<int, int>>(3, {5000, 500})));
        EXPECT_EQ(lines.Count("[QOR]Marlin decoder dll version error.\n"), 1);
        const uint8_t header[1024] = {};
        EXPECT_EQ(QORPLAYER_CreatePlayer(0, 0), -1);
        EXPECT_EQ(QORPLAYER_StreamOpen(0, header, 1024, 0), -1);
        EXPECT_EQ(QORPLAYER_FileOpen(0, "/tmp/none.mpg", 0), 0);
        EXPECT_EQ(lines.Count("[QOR]Dll version NOT correct!\n"), 3);
    }
    CheckDecoderVersion(GoodVersion, nullptr);
    const int32_t player = QORPLAYER_CreatePlayer(0, 0);
    EXPECT_GE(player, 0);
    QORPLAYER_ReleasePlayer(uint32_t(player));
}

TEST(PlayerTable, ScreenListKeepsSixteenAndSaysSoOnce) {
    struct Case {
        int reported;
        size_t kept;
        bool multi;
        int lines;
    };
    for (const Case& c : {Case{0, 0, false, 0}, Case{1, 1, false, 0}, Case{2, 2, true, 0}, Case{16, 16, true, 0},
                          Case{17, 16, true, 1}, Case{40, 16, true, 1}}) {
        Lines lines;
        std::vector<ScreenInfo> screens;
        for (int i = 0; i < c.reported; ++i)
            screens.push_back(ScreenInfo{i, DisplayRect{i * 640, 0, i * 640 + 640, 480}, "screen " + std::to_string(i)});
        LibraryState state;
        BuildScreenList(screens, &state);
        EXPECT_EQ(state.screens.size(), c.kept) << c.reported;
        EXPECT_EQ(state.bMultiScreen, c.multi) << c.reported;
        EXPECT_EQ(lines.Count("[QOR]Now can support only 16 screen at the most, please contact the developper.\n"),
                  c.lines);
        if (c.kept > 1) {
            EXPECT_EQ(state.screens[1].monitorBounds, (DisplayRect{640, 0, 1280, 480}));
            EXPECT_EQ(state.screens[1].description, "screen 1");
        }
    }
}

void IgnorePicture(uint32_t, const VideoDecodeFrameInfo*) {}

TEST(PlayerTable, ReleaseResetsTheSlotButKeepsWhatTheNextUserInherits) {
    const int32_t player = QORPLAYER_CreatePlayer(0, 0);
    ASSERT_GE(player, 0);
    const uint32_t id = uint32_t(player);
    const QorRect rect{1, 2, 3, 4};
    QORPLAYER_SetDisplayMode(id, 2);
    QORPLAYER_StreamEnableDataDriven(id, 1);
    QORPLAYER_StreamEnableRemoteFilePlay(id, 1);
    QORPLAYER_SetVideoDecoderType(id, 1, 11, 12);
    QORPLAYER_SetAudioDecoderType(id, 1, 0, 0);
    QORPLAYER_DisableCreateIndexFile(id);
    QORPLAYER_DisableCreateIndexTable(id);
    QORPLAYER_SetVideoWindow(id, 0, &rect);
    QORPLAYER_RegisterVideoDecodeCallBack(id, IgnorePicture, 9);
    QORPLAYER_RegisterAudioDecodeCallBack(id, [](uint32_t, const AudioDecodeFrameInfo*) {}, 1000, 5);
    QORPLAYER_FileSetEndNotify(id, 0, 3, 42);
    QORPLAYER_ReleasePlayer(id);

    EXPECT_EQ(QORPLAYER_CreatePlayer(0, 0), player);
    {
        std::lock_guard<std::mutex> guard(TableLock());
        const PlayerSlot& slot = Library().slots[id];
        // Inherited by the next user.
        EXPECT_EQ(slot.iDisplayMode, 2);
        EXPECT_TRUE(slot.bDataDriven);
        EXPECT_TRUE(slot.bRemoteFilePlay);
        EXPECT_EQ(slot.iCardParam1, 11);
        EXPECT_EQ(slot.iCardParam2, 12);
        EXPECT_FALSE(slot.bCreateIndexFile);
        // Reset.
        EXPECT_TRUE(slot.bCreateIndexTable);
        EXPECT_TRUE(slot.bSoftwareVideo);
        EXPECT_TRUE(slot.bSoftwareAudio);
        EXPECT_EQ(slot.fpVideoDecodeCallBack, nullptr);
        EXPECT_EQ(slot.fpAudioDecodeCallBack, nullptr);
        EXPECT_EQ(slot.uCallBackUser, 0u);
        EXPECT_EQ(slot.iAudioLeadTime, 200);
        EXPECT_FALSE(slot.bHasRect);
        EXPECT_FALSE(slot.endOfFile.IsSet());
        EXPECT_EQ(slot.iOpenMode, kOpenIdle);
    }
    QORPLAYER_SetDisplayMode(id, 0);
    QORPLAYER_StreamEnableDataDriven(id, 0);
    QORPLAYER_StreamEnableRemoteFilePlay(id, 0);
    QORPLAYER_ReleasePlayer(id);
}

TEST(PlayerTable, AWindowedIdleSlotIsNotHandedOut) {
    // A slot given a window before CreatePlayer stays with its owner.
    const QorRect rect{0, 0, 10, 10};
    QORPLAYER_SetVideoWindow(0, 0x1234, &rect);
    const int32_t player = QORPLAYER_CreatePlayer(0, 0);
    EXPECT_EQ(player, 1);
    QORPLAYER_ReleasePlayer(0);
    QORPLAYER_ReleasePlayer(uint32_t(player));
}

}  // namespace
}  // namespace qor::api
