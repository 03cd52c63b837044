#include "platform/pci_devices.h"

#include <dirent.h>
#include <limits.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/debug_output.h"
#include "platform/file.h"

namespace qor {
namespace {

constexpr int kMaxCards = 64;
constexpr size_t kDescriptionLimit = 512;
constexpr size_t kDescriptionCompare = 31;

// Reads a small sysfs attribute; false when it does not exist.
bool ReadAttribute(const std::string& path, size_t limit, std::string* value) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string text(limit, '\0');
    in.read(text.data(), static_cast<std::streamsize>(limit));
    text.resize(static_cast<size_t>(in.gcount()));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
    *value = text;
    return true;
}

bool ReadHexAttribute(const std::string& path, unsigned* value) {
    std::string text;
    if (!ReadAttribute(path, 32, &text)) return false;
    char* end = nullptr;
    const unsigned long parsed = std::strtoul(text.c_str(), &end, 16);
    if (end == text.c_str()) return false;
    *value = static_cast<unsigned>(parsed);
    return true;
}

// The name of the driver bound to a PCI function (the link's last part).
std::string BoundDriver(const std::string& functionPath) {
    char target[PATH_MAX];
    const ssize_t length = readlink((functionPath + "/driver").c_str(), target, sizeof target - 1);
    if (length <= 0) return std::string();
    target[length] = '\0';
    const char* slash = std::strrchr(target, '/');
    return slash ? std::string(slash + 1) : std::string(target);
}

}  // namespace

std::string DecoderCardDeviceName(int iCard) {
    char name[96];
    std::snprintf(name, sizeof name, "0x9d45fce3-0x15cf-0x4324-0x82-0x8-0xfa-0xb8-0x3e-0xf8-0x52-0x70--Card%d", iCard);
    return name;
}

bool IsDecoderCardInstance(const std::string& description, const std::string& serviceName) {
    const bool described = std::strncmp(description.c_str(), "MPEG-4 HardDecoder", kDescriptionCompare) == 0 ||
                           std::strncmp(description.c_str(), "Brennix OrcaFalcon MPEG-4 Decoder", kDescriptionCompare) == 0;
    if (!described) return false;
    // The service name is compared on its first eight characters only.
    return serviceName.compare(0, 8, "hardDeco") == 0 || serviceName == "OrcaFalcon";
}

int CountDecoderCards(const DecoderCardRoots& roots) {
    int count = 0;
    for (int card = 0; card < kMaxCards; ++card) {
        if (PathExists(roots.deviceDirectory + "/" + DecoderCardDeviceName(card))) ++count;
    }
    if (count != 0) return count;

    DIR* directory = opendir(roots.pciDevicesDirectory.c_str());
    if (directory == nullptr) {
        DebugOutput("[QOR]RegOpenKeyEx() error.\n");
        return 0;
    }
    for (;;) {
        errno = 0;
        const dirent* entry = readdir(directory);
        if (entry == nullptr) {
            if (errno != 0) DebugOutput("[QOR]RegEnumKeyEx() error.\n");
            break;
        }
        if (entry->d_name[0] == '.') continue;
        const std::string function = roots.pciDevicesDirectory + "/" + entry->d_name;
        unsigned vendor = 0, device = 0;
        if (!ReadHexAttribute(function + "/vendor", &vendor) || !ReadHexAttribute(function + "/device", &device)) continue;
        if (vendor != kDecoderCardVendorId || device != kDecoderCardDeviceId) continue;
        std::string description;
        if (!ReadAttribute(function + "/label", kDescriptionLimit, &description)) continue;
        if (IsDecoderCardInstance(description, BoundDriver(function))) ++count;
    }
    closedir(directory);
    return count;
}

}  // namespace qor
