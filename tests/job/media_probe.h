// Reads AVI files back with ffprobe and ffmpeg, the independent reader.
#pragma once

#include <map>
#include <string>

// key=value facts of the first stream of a kind ("v" or "a"), counted by
// decoding (nb_read_frames). Empty when ffprobe fails.
std::map<std::string, std::string> ProbeStream(const std::string& path, const std::string& kind);

// Decodes the whole file, every frame as stored (no frame-rate conversion);
// returns ffmpeg's error output (empty when clean).
std::string DecodeErrors(const std::string& path);

// Runs a shell command and returns its standard output.
std::string RunCommand(const std::string& command);
