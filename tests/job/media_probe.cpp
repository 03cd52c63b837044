#include "media_probe.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

std::string RunCommand(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return out;
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

std::map<std::string, std::string> ProbeStream(const std::string& path, const std::string& kind) {
    const std::string command =
        "ffprobe -v error -count_frames -select_streams " + kind +
        ":0 -show_entries stream=codec_name,codec_tag_string,width,height,r_frame_rate,avg_frame_rate,time_base,"
        "sample_rate,channels,bit_rate,nb_frames,nb_read_frames,duration -of default=nw=1 '" +
        path + "' 2>/dev/null";
    std::map<std::string, std::string> facts;
    std::istringstream lines(RunCommand(command));
    std::string line;
    while (std::getline(lines, line)) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos) facts[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return facts;
}

std::string DecodeErrors(const std::string& path) {
    const std::string all =
        RunCommand("ffmpeg -nostdin -v error -i '" + path + "' -fps_mode passthrough -f null - 2>&1");
    // The NTSC files carry a 25 fps MPEG-4 bitstream inside a 30000/1001 AVI
    // stream; ffmpeg's null output then complains about its own time stamps.
    // Those lines say nothing about the file, so only the reader's lines count.
    std::string errors;
    std::istringstream lines(all);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("[null @", 0) == 0) continue;
        errors += line + "\n";
    }
    return errors;
}
