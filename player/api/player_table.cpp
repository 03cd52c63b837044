#include "player/api/player_table.h"

#include <dlfcn.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/console_bell.h"
#include "platform/display_sdl.h"
#include "platform/file.h"
#include "platform/notification.h"
#include "player/decoding/decoder_components.h"

namespace qor::api {

void PlayerSlot::ResetForRelease() {
    hWnd = 0;
    rect = QorRect{0, 0, 0, 0};
    bHasRect = false;
    iOpenMode = kOpenIdle;
    fpDecCallBack = nullptr;
    fpVideoDecodeCallBack = nullptr;
    uCallBackUser = 0;
    fpAudioDecodeCallBack = nullptr;
    uAudioUser = 0;
    iAudioLeadTime = kDefaultAudioLeadTime;
    fpReadFile = nullptr;
    uReadFileSize = 0;
    uReadFileUser = 0;
    bSoftwareVideo = true;
    bSoftwareAudio = true;
    bInUse = false;
    endOfFile = NotifyTarget();
    endOfIndex = NotifyTarget();
    bVideoOutput = true;
    bCreateIndexTable = true;
    // Display mode, the data-driven and remote-file-play flags, the
    // whole-block flag, the card parameters and the index-file switch are
    // left for the next user of the slot, as callers have come to expect.
}

LibraryState& Library() {
    // Built once and never deleted: an exported call that arrives while the
    // process is exiting must still find a lock to take.
    static LibraryState* state = [] {
        auto* created = new LibraryState;
        created->slots.resize(kPlayerCount);
        return created;
    }();
    return *state;
}

void BuildScreenList(const std::vector<ScreenInfo>& reported, LibraryState* pState) {
    pState->screens.clear();
    for (const ScreenInfo& screen : reported) {
        ScreenEntry entry;
        entry.iIdentifier = screen.index;
        entry.description = screen.name;
        entry.monitorBounds = screen.bounds;
        entry.workArea = screen.bounds;
        pState->screens.push_back(entry);
    }
    if (static_cast<int>(pState->screens.size()) > kMaxScreens) {
        DebugOutput("[QOR]Now can support only 16 screen at the most, please contact the developper.\n");
        pState->screens.resize(kMaxScreens);
    }
    pState->bMultiScreen = pState->screens.size() > 1;
}

bool CheckDecoderVersion(uint32_t (*fpGetVersion)(), const std::function<void(int, int)>& fpBeep) {
    const bool good = fpGetVersion != nullptr && fpGetVersion() == kMarlinDllVersion;
    if (!good) {
        DebugOutput("[QOR]Marlin decoder dll version error.\n");
        for (int beep = 0; beep < 3; ++beep) {
            if (fpBeep) fpBeep(5000, 500);
        }
    }
    Library().bDecoderVersionGood.store(good);
    return good;
}

std::string LibraryDirectory() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&LibraryDirectory), &info) == 0 || info.dli_fname == nullptr) return {};
    const std::string path = info.dli_fname;
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

PlayerSlot* EngineSlot(uint32_t uPlayerId) {
    LibraryState& state = Library();
    if (uPlayerId >= state.slots.size()) return nullptr;
    PlayerSlot& slot = state.slots[uPlayerId];
    if (!slot.bInUse || slot.Engine() == nullptr) return nullptr;
    return &slot;
}

std::shared_ptr<OpenEngine> DetachEngine(PlayerSlot& slot) { return std::move(slot.pOpen); }

bool InstallEndOfFileNotify(PlayerSlot& slot, uint32_t uPlayerId) {
    CMpegPlayer* engine = slot.Engine();
    if (engine == nullptr || engine->OpenMode() != kOpenFile) return false;
    const NotifyTarget target = slot.endOfFile;
    engine->SetEndOfFileNotify([target, uPlayerId](uint32_t) {
        PostWindowMessage(target.hWnd, target.uMessage, uPlayerId, 0);
        SignalEventFd(target.hEvent);
    });
    return true;
}

bool InstallEndOfIndexNotify(PlayerSlot& slot, uint32_t uPlayerId) {
    CMpegPlayer* engine = slot.Engine();
    if (engine == nullptr || engine->OpenMode() != kOpenFile) return false;
    const NotifyTarget target = slot.endOfIndex;
    IndexNotification notification;
    notification.hWnd = reinterpret_cast<void*>(static_cast<uintptr_t>(target.hWnd));
    notification.uMsg = target.uMessage;
    notification.wParam = uPlayerId;
    notification.deliver = [target, uPlayerId](const IndexNotification&) {
        PostWindowMessage(target.hWnd, target.uMessage, uPlayerId, 0);
        SignalEventFd(target.hEvent);
    };
    engine->SetIndexNotification(notification);
    return true;
}

namespace {

uint32_t (*MarlinVersionFunction())() {
    const DecoderComponents* components = nullptr;
    // Components installed beside the library come first; a build tree keeps
    // them in its own library directory.
    const std::string directory = LibraryDirectory();
    if (!directory.empty() && PathExists(directory + "/libDecoderMarlin.so")) {
        components = LoadDecoderComponents(directory.c_str());
    }
    if (components == nullptr) components = LoadDecoderComponents(nullptr);
    return components != nullptr ? components->marlin.GetVersion : nullptr;
}

void EnumerateScreens(LibraryState* pState) {
    // Without an X display there is nothing to enumerate, and trying would
    // only slow down every program that loads the library.
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') return;
    SdlDisplayService service;
    if (!service.IsAvailable()) return;
    BuildScreenList(service.EnumerateScreens(), pState);
}

__attribute__((constructor)) void LoadLibrary() {
    LibraryState& state = Library();
    EnumerateScreens(&state);
    CheckDecoderVersion(MarlinVersionFunction(), [](int iFrequency, int iMilliseconds) {
        ConsoleBeep(iFrequency, iMilliseconds);
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
    });
}

__attribute__((destructor)) void UnloadLibrary() {
    DebugOutput("[QOR]DllMain()'s DLL_PROCESS_DETACH.\n");
    LibraryState& state = Library();
    std::lock_guard<std::mutex> guard(state.tableLock);
    // Engines still open are not stopped: their threads may be anywhere, and
    // callers release their players before unloading.
    for (PlayerSlot& slot : state.slots) {
        if (slot.pOpen) new std::shared_ptr<OpenEngine>(std::move(slot.pOpen));
    }
    state.slots.clear();
}

}  // namespace

}  // namespace qor::api
