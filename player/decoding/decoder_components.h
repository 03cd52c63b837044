// The three outside decoder components, loaded once per process from the
// directory that holds them, and their entry points.
//
// Threading: LoadDecoderComponents may be called from any thread; the first
// successful load is kept for the life of the process and the tables it
// returns never change afterwards.
#pragma once

#include <string>

#include "decoders/avc/avc_decoder.h"
#include "decoders/marlin/marlin_decoder.h"
#include "decoders/osprey/osprey_decoder.h"

namespace qor {

struct MarlinApi {
    decltype(&GetQORMarlinDllVersion) GetVersion = nullptr;
    decltype(&OrcaMarlinDecoder_CreateDecoder) CreateDecoder = nullptr;
    decltype(&OrcaMarlinDecoder_DecoderOneFrame) DecoderOneFrame = nullptr;
    decltype(&OrcaMarlinDecoder_SetVideoQuality) SetVideoQuality = nullptr;
    decltype(&OrcaMarlinDecoder_SetPostFilter) SetPostFilter = nullptr;
    decltype(&OrcaMarlinDecoder_SetBrightness) SetBrightness = nullptr;
    decltype(&OrcaMarlinDecoder_SetContrast) SetContrast = nullptr;
    decltype(&OrcaMarlinDecoder_SetSaturation) SetSaturation = nullptr;
    decltype(&OrcaMarlinDecoder_ReleaseDecoder) ReleaseDecoder = nullptr;
};

struct OspreyApi {
    decltype(&orcaOsprey_global) Global = nullptr;
    decltype(&orcaOsprey_decore) Decore = nullptr;
};

struct AvcApi {
    decltype(&h264_init) Init = nullptr;
    decltype(&h264_decode_one_frame) DecodeOneFrame = nullptr;
    decltype(&postfilter) PostFilter = nullptr;
    decltype(&h264_destroy) Destroy = nullptr;
};

struct DecoderComponents {
    MarlinApi marlin;
    OspreyApi osprey;
    AvcApi avc;
};

// Loads all three from pDirectory (the build's library directory when
// null). Null, with a debug line naming the missing piece, when any
// component or entry point is missing.
const DecoderComponents* LoadDecoderComponents(const char* pDirectory = nullptr);

// The loaded components, or null before a successful load.
const DecoderComponents* GetDecoderComponents();

}  // namespace qor
