// qorplay's command line.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace qorplay {

struct Options {
    std::string recording;
    std::string snapshotPath;                     // where S saves; default qorplay-<n>.bmp
    int quitAfterMs = 0;                          // 0: run until Q
    std::vector<std::pair<int, char>> keyPresses; // (ms after start, key) fed in as if typed
    bool mute = false;
};

// False with a message in *error for a bad command line.
bool ParseOptions(int argc, char** argv, Options* options, std::string* error);

const char* Usage();

}  // namespace qorplay
