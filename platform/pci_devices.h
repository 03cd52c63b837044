// Finding the recorder's hardware decoder cards.
//
// A card shows up either as a device node named after the card's interface
// ("...--Card<n>" under the device directory) or as a PCI function in sysfs
// whose vendor and device ids are the card's, whose label describes a decoder
// and whose bound driver is the card's service. Both roots are parameters so
// that tests can hand in a fake tree.
//
// Threading: stateless; may be called from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace qor {

struct DecoderCardRoots {
    std::string deviceDirectory = "/dev";
    std::string pciDevicesDirectory = "/sys/bus/pci/devices";
};

// The card's PCI identity.
constexpr uint16_t kDecoderCardVendorId = 0x9d45;
constexpr uint16_t kDecoderCardDeviceId = 0xfce3;

// The device-node name of card iCard (0 to 63).
std::string DecoderCardDeviceName(int iCard);

// True when a PCI function's label and driver name mark it as a decoder card.
bool IsDecoderCardInstance(const std::string& description, const std::string& serviceName);

// Counts the cards: device nodes first; only when there are none, the PCI
// functions. Writes the lookup's debug lines when the PCI list cannot be read.
int CountDecoderCards(const DecoderCardRoots& roots = DecoderCardRoots());

}  // namespace qor
