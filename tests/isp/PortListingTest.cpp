#include <gtest/gtest.h>

#include <filesystem>

#include "isp/PortListing.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// A sysfs tree in a temp folder: class entries and USB devices with their attributes.
struct FakeSysfs {
    TempDir dir;
    void File(const std::string& path, const std::string& text) {
        fs::create_directories(fs::path(dir.File(path)).parent_path());
        dir.Write(path, text + "\n");
    }
    void Folder(const std::string& path) { fs::create_directories(dir.File(path)); }
    // A USB device folder with its ids, product and serial.
    void Usb(const std::string& path, const std::string& vid, const std::string& pid,
             const std::string& product, const std::string& serial) {
        File(path + "/idVendor", vid);
        File(path + "/idProduct", pid);
        File(path + "/product", product);
        if (!serial.empty()) File(path + "/serial", serial);
    }
    // A tty whose device link points into folder.
    void Tty(const std::string& name, const std::string& folder) {
        Folder(folder);
        Folder("class/tty/" + name);
        fs::create_directory_symlink(dir.File(folder), dir.File("class/tty/" + name + "/device"));
    }
};

std::string Line(const FoundPort& p) {
    return p.strKind + "|" + p.strDevice + "|" + p.strUsbId + "|" + p.strProduct + "|" +
           p.strSerial + "|" + p.strIsp;
}

}  // namespace

TEST(PortListing, ListsEachKindFromSysfs) {
    FakeSysfs sys;
    sys.Folder("class/ppdev/parport0");
    sys.Folder("bus/gpio/devices/gpiochip10");
    sys.Folder("bus/gpio/devices/gpiochip2");
    sys.File("class/tty/ttyS0/type", "4");
    sys.File("class/tty/ttyS1/type", "0");  // no UART behind it
    sys.Folder("class/tty/tty1");
    const std::string uno = "devices/pci0000:00/usb1/1-1";
    sys.Usb(uno, "2341", "0043", "Arduino Uno", "7563331323335");
    sys.Tty("ttyACM0", uno + "/1-1:1.0");
    const std::string ch340 = "devices/pci0000:00/usb1/1-2";
    sys.Usb(ch340, "1a86", "7523", "USB Serial", "");
    sys.Tty("ttyUSB0", ch340 + "/1-2:1.0/ttyUSB0");
    for (const char* name : {"1-3", "1-4"}) {
        const std::string path = std::string("bus/usb/devices/") + name;
        sys.Usb(path, "16c0", "05dc", "USBasp", name[2] == '3' ? "0042" : "");
        sys.File(path + "/manufacturer", "www.fischl.de");
        sys.File(path + "/busnum", "1");
        sys.File(path + "/devnum", name[2] == '3' ? "7" : "12");
    }
    sys.Usb("bus/usb/devices/1-5", "16c0", "05dc", "other V-USB device", "");
    sys.File("bus/usb/devices/1-5/manufacturer", "someone else");

    std::vector<std::string> lines;
    for (const FoundPort& port : ListPorts(sys.dir.path())) lines.push_back(Line(port));
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "parallel|/dev/parport0||||",
                         "gpio|/dev/gpiochip2||||",
                         "gpio|/dev/gpiochip10||||",
                         "serial|/dev/ttyS0||||arduino:/dev/ttyS0",
                         "serial|/dev/ttyUSB0|1a86:7523|USB Serial||arduino:/dev/ttyUSB0",
                         "serial|/dev/ttyACM0|2341:0043|Arduino Uno|7563331323335|"
                         "arduino:/dev/ttyACM0",
                         "usbasp|001:007|16c0:05dc|USBasp|0042|usbasp:0042",
                         "usbasp|001:012|16c0:05dc|USBasp||usbasp:001:012",
                     }));
    EXPECT_TRUE(ListPorts(sys.dir.File("missing")).empty());
}
