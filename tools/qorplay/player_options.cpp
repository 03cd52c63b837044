#include "player_options.h"

#include <cstdlib>
#include <cstring>

namespace qorplay {

namespace {

bool ParseMilliseconds(const char* text, int* value) {
    char* end = nullptr;
    const long parsed = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || parsed < 0 || parsed > 24L * 3600 * 1000) return false;
    *value = static_cast<int>(parsed);
    return true;
}

// "1000:s,1500:q": key s one second in, key q half a second later.
bool ParseKeys(const std::string& text, std::vector<std::pair<int, char>>* keys) {
    size_t start = 0;
    while (start < text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos) comma = text.size();
        const std::string item = text.substr(start, comma - start);
        const size_t colon = item.find(':');
        if (colon == std::string::npos || colon + 2 != item.size()) return false;
        int at = 0;
        if (!ParseMilliseconds(item.substr(0, colon).c_str(), &at)) return false;
        keys->emplace_back(at, item[colon + 1]);
        start = comma + 1;
    }
    return !keys->empty();
}

}  // namespace

const char* Usage() {
    return "usage: qorplay [options] recording\n"
           "  --snapshot PATH     file the S key saves to (default qorplay-<n>.bmp)\n"
           "  --quit-after MS     quit on its own after MS milliseconds\n"
           "  --keys MS:K,...     press key K at MS milliseconds (for scripted runs;\n"
           "                      L R U D are the arrows, C the comma)\n"
           "  --mute              no sound\n"
           "keys: space pause/play, left/right seek 10 s, up/down speed, . and , step,\n"
           "      b back-play, s snapshot, q quit\n";
}

bool ParseOptions(int argc, char** argv, Options* options, std::string* error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--snapshot" && hasValue) {
            options->snapshotPath = argv[++i];
        } else if (arg == "--quit-after" && hasValue) {
            if (!ParseMilliseconds(argv[++i], &options->quitAfterMs)) {
                *error = "bad --quit-after value";
                return false;
            }
        } else if (arg == "--keys" && hasValue) {
            if (!ParseKeys(argv[++i], &options->keyPresses)) {
                *error = "bad --keys list";
                return false;
            }
        } else if (arg == "--mute") {
            options->mute = true;
        } else if (!arg.empty() && arg[0] == '-') {
            *error = "unknown option " + arg;
            return false;
        } else if (options->recording.empty()) {
            options->recording = arg;
        } else {
            *error = "more than one recording given";
            return false;
        }
    }
    if (options->recording.empty()) {
        *error = "no recording given";
        return false;
    }
    return true;
}

}  // namespace qorplay
