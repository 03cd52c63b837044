// qorplay: plays one recording in an SDL2 window through the player
// library's exported functions only, the way any caller would.
#include <SDL.h>
#include <SDL_syswm.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#ifdef QORPLAY_HAVE_XLIB
#include <X11/Xlib.h>
#endif

#include <algorithm>
#include <cstdio>
#include <string>

#include "player_options.h"
#include "qor_player.h"

namespace qorplay {
namespace {

constexpr float kSpeeds[] = {0.125f, 0.25f, 0.5f, 1.0f, 2.0f, 4.0f, 8.0f, 16.0f};
constexpr int kNormalSpeed = 3;
constexpr int kSeekStepMs = 10000;

struct Probe {
    int32_t width = 0, height = 0;
};

// A throw-away player tells the picture size, so that the window can be made
// to fit before the real player draws into it.
bool ProbeRecording(const std::string& path, Probe* probe) {
    const int32_t player = QORPLAYER_CreatePlayer(0, 0);
    if (player < 0) return false;
    const uint32_t id = static_cast<uint32_t>(player);
    QORPLAYER_DisableCreateIndexTable(id);
    const bool ok = QORPLAYER_FileOpen(id, path.c_str(), 0) == 1 &&
                    QORPLAYER_GetPictureSize(id, &probe->width, &probe->height) == 1 && probe->width > 0 &&
                    probe->height > 0;
    QORPLAYER_ReleasePlayer(id);
    return ok;
}

std::string Clock(int32_t ms) {
    char text[32];
    ms = std::max(ms, 0);
    std::snprintf(text, sizeof text, "%02d:%02d.%d", ms / 60000, (ms / 1000) % 60, (ms / 100) % 10);
    return text;
}

class Session {
public:
    Session(uint32_t id, const Options& options, SDL_Window* window, int endEvent)
        : m_id(id), m_options(options), m_window(window), m_endEvent(endEvent) {}

    int Run() {
        const Uint32 start = SDL_GetTicks();
        size_t nextKey = 0;
        Uint32 lastTitle = 0, lastPrint = 0;
        while (!m_quit) {
            const Uint32 now = SDL_GetTicks() - start;
            while (nextKey < m_options.keyPresses.size() && int(now) >= m_options.keyPresses[nextKey].first) {
                PushKey(m_options.keyPresses[nextKey].second);
                ++nextKey;
            }
            if (m_options.quitAfterMs > 0 && int(now) >= m_options.quitAfterMs) break;
            SDL_Event event;
            if (SDL_WaitEventTimeout(&event, 20)) {
                do {
                    Handle(event);
                } while (SDL_PollEvent(&event));
            }
            CheckEnd();
            if (now - lastTitle >= 250) {
                lastTitle = now;
                SDL_SetWindowTitle(m_window, StatusLine().c_str());
            }
            if (now - lastPrint >= 1000) {
                lastPrint = now;
                std::printf("%s\n", StatusLine().c_str());
                std::fflush(stdout);
            }
        }
        std::printf("%s\nquit\n", StatusLine().c_str());
        std::fflush(stdout);
        return m_failures == 0 ? 0 : 1;
    }

private:
    // Scripted key presses go through the same queue as typed ones.
    void PushKey(char key) {
        SDL_Event event{};
        event.type = SDL_KEYDOWN;
        event.key.windowID = SDL_GetWindowID(m_window);
        event.key.state = SDL_PRESSED;
        switch (key) {
            case 'L': event.key.keysym.sym = SDLK_LEFT; break;
            case 'R': event.key.keysym.sym = SDLK_RIGHT; break;
            case 'U': event.key.keysym.sym = SDLK_UP; break;
            case 'D': event.key.keysym.sym = SDLK_DOWN; break;
            case 'C': event.key.keysym.sym = SDLK_COMMA; break;
            default: event.key.keysym.sym = static_cast<SDL_Keycode>(key); break;
        }
        SDL_PushEvent(&event);
    }

    void Handle(const SDL_Event& event) {
        if (event.type == SDL_QUIT) {
            m_quit = true;
        } else if (event.type == SDL_WINDOWEVENT) {
            if (event.window.event == SDL_WINDOWEVENT_EXPOSED || event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED)
                QORPLAYER_RefreshWindow(m_id);
        } else if (event.type == SDL_KEYDOWN) {
            OnKey(event.key.keysym.sym);
        }
    }

    void OnKey(SDL_Keycode key) {
        switch (key) {
            case SDLK_q:
            case SDLK_ESCAPE:
                m_quit = true;
                break;
            case SDLK_SPACE:
                if (m_state == "playing") {
                    QORPLAYER_Pause(m_id);
                    m_state = "paused";
                } else {
                    QORPLAYER_Play(m_id);
                    m_state = "playing";
                }
                break;
            case SDLK_LEFT:
            case SDLK_RIGHT: {
                const int32_t total = QORPLAYER_FileGetTotalTime(m_id);
                const int32_t played = QORPLAYER_FileGetPlayedTime(m_id);
                const int32_t target = std::clamp(played + (key == SDLK_RIGHT ? kSeekStepMs : -kSeekStepMs), 0, total);
                if (QORPLAYER_FileSetPlayTime(m_id, target) == 0) ++m_failures;
                m_ended = false;
                break;
            }
            case SDLK_UP:
            case SDLK_DOWN:
                m_speed = std::clamp(m_speed + (key == SDLK_UP ? 1 : -1), 0, int(std::size(kSpeeds)) - 1);
                QORPLAYER_SetPlaySpeed(m_id, kSpeeds[m_speed]);
                break;
            case SDLK_PERIOD:
            case SDLK_COMMA:
                QORPLAYER_FileStepPlay(m_id, key == SDLK_PERIOD ? 1 : 0);
                m_state = "stepping";
                break;
            case SDLK_b:
                QORPLAYER_FileBackPlay(m_id);
                m_state = "backwards";
                break;
            case SDLK_s: {
                std::string path = m_options.snapshotPath;
                if (path.empty()) path = "qorplay-" + std::to_string(++m_snapshots) + ".bmp";
                if (QORPLAYER_CaptureBitmap(m_id, path.c_str(), 0) == 1) {
                    std::printf("snapshot %s\n", path.c_str());
                } else {
                    std::printf("snapshot failed\n");
                    ++m_failures;
                }
                std::fflush(stdout);
                break;
            }
            default:
                break;
        }
    }

    void CheckEnd() {
        pollfd p{m_endEvent, POLLIN, 0};
        if (poll(&p, 1, 0) == 1) {
            uint64_t value = 0;
            if (read(m_endEvent, &value, sizeof value) == ssize_t(sizeof value)) m_ended = true;
        }
    }

    std::string StatusLine() const {
        const int32_t total = QORPLAYER_FileGetTotalTime(m_id);
        const int32_t played = QORPLAYER_FileGetPlayedTime(m_id);
        char text[160];
        std::snprintf(text, sizeof text, "qorplay %s / %s (%.1f%%) %s x%g", Clock(played).c_str(), Clock(total).c_str(),
                      total > 0 ? 100.0 * played / total : 0.0, m_ended ? "end" : m_state.c_str(),
                      double(kSpeeds[m_speed]));
        return text;
    }

    uint32_t m_id;
    const Options& m_options;
    SDL_Window* m_window;
    int m_endEvent;
    bool m_quit = false;
    bool m_ended = false;
    std::string m_state = "playing";
    int m_speed = kNormalSpeed;
    int m_snapshots = 0;
    int m_failures = 0;
};

int Main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, &options, &error)) {
        std::fprintf(stderr, "qorplay: %s\n%s", error.c_str(), Usage());
        return 2;
    }
#ifdef QORPLAY_HAVE_XLIB
    // The library draws into our window from its own thread over the same X
    // connection SDL uses here, so Xlib must lock around every call.
    XInitThreads();
#endif
    Probe probe;
    if (!ProbeRecording(options.recording, &probe)) {
        std::fprintf(stderr, "qorplay: cannot open %s\n", options.recording.c_str());
        return 1;
    }
    if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
        std::fprintf(stderr, "qorplay: no display: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Window* window = SDL_CreateWindow("qorplay", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, probe.width,
                                          probe.height, SDL_WINDOW_SHOWN | SDL_WINDOW_RESIZABLE);
    SDL_SysWMinfo wm;
    SDL_VERSION(&wm.version);
    if (window == nullptr || !SDL_GetWindowWMInfo(window, &wm) || wm.subsystem != SDL_SYSWM_X11) {
        std::fprintf(stderr, "qorplay: needs an X11 window\n");
        SDL_Quit();
        return 1;
    }
    const QorWindow xid = static_cast<QorWindow>(wm.info.x11.window);
    std::printf("window 0x%llx %dx%d\n", static_cast<unsigned long long>(xid), probe.width, probe.height);
    std::fflush(stdout);

    const int32_t player = QORPLAYER_CreatePlayer(0, 0);
    const int endEvent = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    int result = 1;
    if (player >= 0 && endEvent >= 0) {
        const uint32_t id = static_cast<uint32_t>(player);
        QORPLAYER_SetVideoWindow(id, xid, nullptr);
        if (QORPLAYER_FileOpen(id, options.recording.c_str(), 0) == 1) {
            QORPLAYER_FileSetEndNotify(id, 0, 0, endEvent);
            if (options.mute) QORPLAYER_EnableAudio(id, 0);
            QORPLAYER_Play(id);
            Session session(id, options, window, endEvent);
            result = session.Run();
        } else {
            std::fprintf(stderr, "qorplay: cannot play %s\n", options.recording.c_str());
        }
        QORPLAYER_ReleasePlayer(id);
    }
    if (endEvent >= 0) close(endEvent);
    SDL_DestroyWindow(window);
    SDL_Quit();
    return result;
}

}  // namespace
}  // namespace qorplay

int main(int argc, char** argv) { return qorplay::Main(argc, argv); }
