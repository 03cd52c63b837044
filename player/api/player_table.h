// The library-wide state behind the exported functions: the 512 player slots
// and the one lock that guards them, the list of screens, the result of the
// decoder component's version check and the timing constants. Built when the
// library is loaded, removed when it is unloaded.
//
// Threading: every exported function takes TableLock() before it looks at a
// slot and leaves it before returning; slots are only read or written under
// it. An engine is detached from its slot under the lock and destroyed after
// the lock is left, because destruction waits for the engine's threads and
// those threads run the caller's callbacks.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <source_location>
#include <string>
#include <vector>

#include "platform/debug_output.h"
#include "platform/display.h"
#include "player/api/qor_player.h"
#include "player/engine/mpeg_player.h"

namespace qor::api {

constexpr uint32_t kPlayerCount = 512;
constexpr int kMaxScreens = 16;
constexpr uint32_t kMarlinDllVersion = 0x01000001;
constexpr int kDefaultAudioLeadTime = 200;

// Where the end-of-file or end-of-index notice goes.
struct NotifyTarget {
    QorWindow hWnd = 0;
    uint32_t uMessage = 0;
    QorEvent hEvent = -1;
    bool IsSet() const { return hWnd != 0 || hEvent >= 0; }
};

// An open engine with what must outlive it: the read-file callback adapter
// the engine calls through. The engine is declared last so that it is
// destroyed first.
struct OpenEngine {
    ReadFileCallBack fpReadFile = nullptr;
    uint32_t uReadFileUser = 0;
    std::unique_ptr<CMpegPlayer> pEngine;
};

struct PlayerSlot {
    QorWindow hWnd = 0;
    QorRect rect{0, 0, 0, 0};
    bool bHasRect = false;
    int iOpenMode = kOpenIdle;
    std::shared_ptr<OpenEngine> pOpen;  // shared with a stream writer that is inside StreamWriteToBuf
    int iDisplayMode = 0;
    bool bDataDriven = false;
    bool bRemoteFilePlay = false;
    DecCallBack fpDecCallBack = nullptr;
    VideoDecodeCallBack fpVideoDecodeCallBack = nullptr;
    uint32_t uCallBackUser = 0;
    bool bWholeBlock = false;
    AudioDecodeCallBack fpAudioDecodeCallBack = nullptr;
    uint32_t uAudioUser = 0;
    int iAudioLeadTime = kDefaultAudioLeadTime;
    ReadFileCallBack fpReadFile = nullptr;
    uint32_t uReadFileSize = 0;
    uint32_t uReadFileUser = 0;
    bool bVideoOutput = true;
    bool bSoftwareVideo = true;
    bool bSoftwareAudio = true;
    int iCardParam1 = -1;
    int iCardParam2 = -1;
    bool bInUse = false;
    NotifyTarget endOfFile;
    NotifyTarget endOfIndex;
    bool bCreateIndexTable = true;
    bool bCreateIndexFile = true;

    CMpegPlayer* Engine() const { return pOpen ? pOpen->pEngine.get() : nullptr; }
    // Back to the state after QORPLAYER_ReleasePlayer (the engine must be detached).
    void ResetForRelease();
};

struct ScreenEntry {
    int iIdentifier = 0;
    std::string description;
    DisplayRect monitorBounds;
    DisplayRect workArea;
    bool bInUse = false;
};

struct LibraryState {
    std::mutex tableLock;
    std::mutex secondLock;  // kept for parity with the table lock; nothing takes it
    std::vector<PlayerSlot> slots;
    std::vector<ScreenEntry> screens;
    bool bMultiScreen = false;
    std::atomic<bool> bDecoderVersionGood{false};
    // Timing constants the playback engine works with.
    int iAudioTolerance = 400;
    int iHardAudioWindowLow = 0;
    int iHardAudioWindowHigh = 100;
    float fHalfFactor = 0.5f;
};

// The state, built on first use (the library's load runs it).
LibraryState& Library();
inline std::mutex& TableLock() { return Library().tableLock; }

// Builds the screen list from what the display service reported; cuts it
// to 16 with its debug line.
void BuildScreenList(const std::vector<ScreenInfo>& reported, LibraryState* pState);

// Checks the Marlin component's version and remembers the result; a bad or
// missing version writes its line and sounds three beeps through fpBeep
// (frequency, milliseconds; the pause after each is included in the beep's
// caller). Returns the result.
bool CheckDecoderVersion(uint32_t (*fpGetVersion)(), const std::function<void(int, int)>& fpBeep);

// The directory this library was loaded from ("" when it cannot be told).
std::string LibraryDirectory();

// Under the table lock: the slot's engine when the number is valid, the slot
// in use and a recording open; else null.
PlayerSlot* EngineSlot(uint32_t uPlayerId);

// Runs body(slot, engine) under the table lock when the player has an
// engine; otherwise writes "<name>() uPlayerId=<n> error." and returns
// failValue. A fault inside the body ends it with failValue.
template <typename R, typename Body>
R WithEngine(const char* pName, uint32_t uPlayerId, R failValue, Body&& body,
             std::source_location where = std::source_location::current()) {
    try {
        std::lock_guard<std::mutex> guard(TableLock());
        PlayerSlot* slot = EngineSlot(uPlayerId);
        if (slot == nullptr) {
            DebugOutput("[QOR]%s() uPlayerId=%d error.\n", pName, static_cast<int>(uPlayerId));
            return failValue;
        }
        return body(*slot, *slot->Engine());
    } catch (...) {
        DebugOutput("[QOR]SAFE_CALL_END report ZRV, line=%d.\n", static_cast<int>(where.line()));
        return failValue;
    }
}

// Runs body(slot) under the table lock for any number below 512; a larger
// number writes "<name>() playerId error, playerId=<n>." before the lock.
template <typename R, typename Body>
R WithSlot(const char* pName, uint32_t uPlayerId, R failValue, Body&& body,
           std::source_location where = std::source_location::current()) {
    if (uPlayerId >= kPlayerCount) {
        DebugOutput("[QOR]%s() playerId error, playerId=%d.\n", pName, static_cast<int>(uPlayerId));
        return failValue;
    }
    try {
        std::lock_guard<std::mutex> guard(TableLock());
        if (uPlayerId >= Library().slots.size()) return failValue;  // the library is being unloaded
        return body(Library().slots[uPlayerId]);
    } catch (...) {
        DebugOutput("[QOR]SAFE_CALL_END report ZRV, line=%d.\n", static_cast<int>(where.line()));
        return failValue;
    }
}

// Detaches the slot's engine under the table lock; the caller destroys it
// after leaving the lock.
std::shared_ptr<OpenEngine> DetachEngine(PlayerSlot& slot);

// Installs the slot's stored notifications on its engine (file mode only).
bool InstallEndOfFileNotify(PlayerSlot& slot, uint32_t uPlayerId);
bool InstallEndOfIndexNotify(PlayerSlot& slot, uint32_t uPlayerId);

// The player number printed in lines: %d of the unsigned number, as callers see it.
inline int PrintedId(uint32_t uPlayerId) { return static_cast<int>(uPlayerId); }

}  // namespace qor::api
