#include "player/decoding/decoder_components.h"

#include <dlfcn.h>

#include <mutex>

#include "platform/debug_output.h"

#ifndef QOR_DECODER_DIR
#define QOR_DECODER_DIR "."
#endif

namespace qor {

namespace {

std::mutex componentsLock;
DecoderComponents components;
bool componentsLoaded = false;

void* OpenComponent(const std::string& directory, const char* name) {
    const std::string path = directory + "/lib" + name + ".so";
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) DebugOutput("[QOR]load %s error: %s\n", name, dlerror());
    return handle;
}

template <typename Fn>
bool Resolve(void* library, const char* symbol, Fn* target) {
    *target = reinterpret_cast<Fn>(dlsym(library, symbol));
    if (!*target) DebugOutput("[QOR]entry point %s missing.\n", symbol);
    return *target != nullptr;
}

}  // namespace

const DecoderComponents* LoadDecoderComponents(const char* pDirectory) {
    std::lock_guard<std::mutex> lock(componentsLock);
    if (componentsLoaded) return &components;
    const std::string directory = pDirectory ? pDirectory : QOR_DECODER_DIR;
    // Components stay loaded for the life of the process: pictures and
    // handles they gave out may be in use anywhere.
    void* marlin = OpenComponent(directory, "DecoderMarlin");
    void* osprey = OpenComponent(directory, "orcaOspreydec");
    void* avc = OpenComponent(directory, "avcdecode");
    if (!marlin || !osprey || !avc) return nullptr;
    DecoderComponents loaded;
    bool ok = Resolve(marlin, "GetQORMarlinDllVersion", &loaded.marlin.GetVersion);
    ok = Resolve(marlin, "OrcaMarlinDecoder_CreateDecoder", &loaded.marlin.CreateDecoder) && ok;
    ok = Resolve(marlin, "OrcaMarlinDecoder_DecoderOneFrame", &loaded.marlin.DecoderOneFrame) && ok;
    ok = Resolve(marlin, "OrcaMarlinDecoder_SetVideoQuality", &loaded.marlin.SetVideoQuality) && ok;
    ok = Resolve(marlin, "OrcaMarlinDecoder_SetPostFilter", &loaded.marlin.SetPostFilter) && ok;
    ok = Resolve(marlin, "OrcaMarlinDecoder_SetBrightness", &loaded.marlin.SetBrightness) && ok;
    ok = Resolve(marlin, "OrcaMarlinDecoder_SetContrast", &loaded.marlin.SetContrast) && ok;
    ok = Resolve(marlin, "OrcaMarlinDecoder_SetSaturation", &loaded.marlin.SetSaturation) && ok;
    ok = Resolve(marlin, "OrcaMarlinDecoder_ReleaseDecoder", &loaded.marlin.ReleaseDecoder) && ok;
    ok = Resolve(osprey, "orcaOsprey_global", &loaded.osprey.Global) && ok;
    ok = Resolve(osprey, "orcaOsprey_decore", &loaded.osprey.Decore) && ok;
    ok = Resolve(avc, "h264_init", &loaded.avc.Init) && ok;
    ok = Resolve(avc, "h264_decode_one_frame", &loaded.avc.DecodeOneFrame) && ok;
    ok = Resolve(avc, "postfilter", &loaded.avc.PostFilter) && ok;
    ok = Resolve(avc, "h264_destroy", &loaded.avc.Destroy) && ok;
    if (!ok) return nullptr;
    components = loaded;
    componentsLoaded = true;
    return &components;
}

const DecoderComponents* GetDecoderComponents() {
    std::lock_guard<std::mutex> lock(componentsLock);
    return componentsLoaded ? &components : nullptr;
}

}  // namespace qor
