#include "isp/PortListing.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "isp/IUsbTransfer.h"

namespace fs = std::filesystem;

namespace {

// The first line of a sysfs attribute, empty when it is missing.
std::string Attribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// Names in a folder that start with prefix and end in a number, by that number.
std::vector<std::string> Numbered(const fs::path& folder, const std::string& prefix) {
    std::vector<std::pair<long, std::string>> names;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
            name.find_first_not_of("0123456789", prefix.size()) != std::string::npos)
            continue;
        names.emplace_back(std::atol(name.c_str() + prefix.size()), name);
    }
    std::sort(names.begin(), names.end());
    std::vector<std::string> sorted;
    for (auto& name : names) sorted.push_back(std::move(name.second));
    return sorted;
}

// The USB device a tty belongs to: the nearest folder above its device link with idVendor.
fs::path UsbDeviceOf(const fs::path& tty) {
    std::error_code ec;
    fs::path folder = fs::canonical(tty / "device", ec);
    for (int up = 0; !ec && up < 4 && folder.has_relative_path(); ++up) {
        if (fs::exists(folder / "idVendor", ec)) return folder;
        folder = folder.parent_path();
    }
    return {};
}

void AddUsbFields(FoundPort& port, const fs::path& device) {
    port.strUsbId = Attribute(device / "idVendor") + ":" + Attribute(device / "idProduct");
    port.strProduct = Attribute(device / "product");
    port.strSerial = Attribute(device / "serial");
}

}  // namespace

std::vector<FoundPort> ListPorts(const std::string& sysRoot) {
    const fs::path root(sysRoot);
    std::vector<FoundPort> ports;
    for (const std::string& name : Numbered(root / "class/ppdev", "parport"))
        ports.push_back({"parallel", "/dev/" + name, "", "", "", ""});
    for (const std::string& name : Numbered(root / "bus/gpio/devices", "gpiochip"))
        ports.push_back({"gpio", "/dev/" + name, "", "", "", ""});

    const fs::path ttys = root / "class/tty";
    for (const char* prefix : {"ttyS", "ttyUSB", "ttyACM"}) {
        for (const std::string& name : Numbered(ttys, prefix)) {
            // The kernel makes ttyS0..ttyS31 whether or not a UART is there; type 0 is none.
            const std::string type = Attribute(ttys / name / "type");
            if (std::string(prefix) == "ttyS" && (type.empty() || type == "0")) continue;
            FoundPort port{"serial", "/dev/" + name, "", "", "", "arduino:/dev/" + name};
            const fs::path usb = UsbDeviceOf(ttys / name);
            if (!usb.empty()) AddUsbFields(port, usb);
            ports.push_back(port);
        }
    }

    std::vector<FoundPort> usbasps;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(root / "bus/usb/devices", ec)) {
        const fs::path device = entry.path();
        if (Attribute(device / "idVendor") != "16c0" || Attribute(device / "idProduct") != "05dc" ||
            Attribute(device / "manufacturer") != IUsbTransfer::kVendorName)
            continue;
        UsbaspDevice usb;
        usb.nBus = std::atoi(Attribute(device / "busnum").c_str());
        usb.nAddress = std::atoi(Attribute(device / "devnum").c_str());
        FoundPort port{"usbasp", usb.Name(), "", "", "", ""};
        AddUsbFields(port, device);
        usbasps.push_back(port);
    }
    std::sort(usbasps.begin(), usbasps.end(),
              [](const FoundPort& a, const FoundPort& b) { return a.strDevice < b.strDevice; });
    // One USBasp needs no choice; among several, the serial (stable across plugging) or else
    // the bus and device number picks one.
    for (FoundPort& port : usbasps) {
        const auto sameSerial = std::count_if(usbasps.begin(), usbasps.end(), [&](auto& other) {
            return other.strSerial == port.strSerial;
        });
        port.strIsp = usbasps.size() == 1                        ? "usbasp"
                      : port.strSerial.empty() || sameSerial > 1 ? "usbasp:" + port.strDevice
                                                                 : "usbasp:" + port.strSerial;
        ports.push_back(port);
    }
    return ports;
}
