#include "platform/pci_devices.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/debug_capture.h"

namespace qor {
namespace {

class FakeTree {
public:
    FakeTree() {
        char pattern[] = "/tmp/qor_pci_XXXXXX";
        m_root = mkdtemp(pattern);
        mkdir((m_root + "/dev").c_str(), 0755);
        mkdir((m_root + "/pci").c_str(), 0755);
        mkdir((m_root + "/drivers").c_str(), 0755);
    }
    ~FakeTree() { std::system(("rm -rf '" + m_root + "'").c_str()); }
    DecoderCardRoots Roots() const { return DecoderCardRoots{m_root + "/dev", m_root + "/pci"}; }
    void AddNode(int card) { std::ofstream(m_root + "/dev/" + DecoderCardDeviceName(card)) << ""; }
    void AddFunction(const std::string& slot, const std::string& vendor, const std::string& device,
                     const std::string* label, const std::string& driver) {
        const std::string dir = m_root + "/pci/" + slot;
        mkdir(dir.c_str(), 0755);
        std::ofstream(dir + "/vendor") << vendor << "\n";
        std::ofstream(dir + "/device") << device << "\n";
        if (label != nullptr) std::ofstream(dir + "/label") << *label << "\n";
        if (!driver.empty()) {
            mkdir((m_root + "/drivers/" + driver).c_str(), 0755);
            EXPECT_EQ(symlink((m_root + "/drivers/" + driver).c_str(), (dir + "/driver").c_str()), 0);
        }
    }

private:
    std::string m_root;
};

TEST(PlayerTableCardCount, DeviceNodesAreCountedFirst) {
    FakeTree tree;
    tree.AddNode(0);
    tree.AddNode(5);
    tree.AddNode(63);
    tree.AddNode(64);  // beyond the cards asked for
    const std::string label = "MPEG-4 HardDecoder";
    tree.AddFunction("0000:01:00.0", "0x9d45", "0xfce3", &label, "hardDecoder");
    EXPECT_EQ(CountDecoderCards(tree.Roots()), 3);
}

TEST(PlayerTableCardCount, PciFunctionsCountWhenIdentityLabelAndDriverMatch) {
    struct Case {
        const char* vendor;
        const char* device;
        const char* label;  // null: no label attribute
        const char* driver;
        int expected;
    };
    const Case cases[] = {
        {"0x9d45", "0xfce3", "MPEG-4 HardDecoder", "hardDecoder", 1},
        {"0x9d45", "0xfce3", "MPEG-4 HardDecoder", "hardDecoX", 1},   // first eight characters decide
        {"0x9d45", "0xfce3", "Brennix OrcaFalcon MPEG-4 Decoder", "OrcaFalcon", 1},
        {"0x9d45", "0xfce3", "MPEG-4 HardDecoder", "OrcaFalcon2", 0},
        {"0x9d45", "0xfce3", "MPEG-4 HardDecoder", "hardDec", 0},
        {"0x9d45", "0xfce3", "MPEG-4 Hard", "hardDecoder", 0},
        {"0x9d45", "0xfce3", nullptr, "hardDecoder", 0},
        {"0x9d45", "0xfce3", "MPEG-4 HardDecoder", "", 0},
        {"0x8086", "0xfce3", "MPEG-4 HardDecoder", "hardDecoder", 0},
        {"0x9d45", "0x1234", "MPEG-4 HardDecoder", "hardDecoder", 0},
    };
    for (const Case& c : cases) {
        FakeTree tree;
        const std::string label = c.label != nullptr ? c.label : "";
        tree.AddFunction("0000:02:00.0", c.vendor, c.device, c.label != nullptr ? &label : nullptr, c.driver);
        EXPECT_EQ(CountDecoderCards(tree.Roots()), c.expected) << c.vendor << " " << c.device << " " << label << " "
                                                               << c.driver;
    }
}

TEST(PlayerTableCardCount, TwoCardsOnTheBusCountTwo) {
    FakeTree tree;
    const std::string label = "MPEG-4 HardDecoder";
    tree.AddFunction("0000:03:00.0", "0x9d45", "0xfce3", &label, "hardDecoder");
    tree.AddFunction("0000:04:00.0", "0x9d45", "0xfce3", &label, "hardDecoder");
    tree.AddFunction("0000:05:00.0", "0x10de", "0x1c82", nullptr, "nvidia");
    EXPECT_EQ(CountDecoderCards(tree.Roots()), 2);
}

TEST(PlayerTableCardCount, UnreadableBusCountsZeroWithItsLine) {
    test::DebugCapture capture;
    EXPECT_EQ(CountDecoderCards(DecoderCardRoots{"/nonexistent/dev", "/nonexistent/pci"}), 0);
    EXPECT_EQ(capture.Lines(), std::vector<std::string>{"[QOR]RegOpenKeyEx() error.\n"});
}

}  // namespace
}  // namespace qor
