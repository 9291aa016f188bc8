#include "isp/CLibusbTransfer.h"

#include <libusb.h>

#include "platform/Translate.h"

namespace {

// The device's string descriptor, empty when it has none or it cannot be read.
std::string StringDescriptor(libusb_device_handle* handle, std::uint8_t index) {
    if (index == 0) return {};
    unsigned char text[128];
    const int n = libusb_get_string_descriptor_ascii(handle, index, text, sizeof text);
    return n > 0 ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(n))
                 : std::string();
}

// What to do about an error opening the device: permission errors are the common one.
std::string OpenProblem(int error) {
    if (error == LIBUSB_ERROR_ACCESS)
        return platform::Tr(
            "permission denied: add yourself to the plugdev group and install "
            "the udev rule (docs/wiring.md)");
    return libusb_strerror(error);
}

}  // namespace

CLibusbTransfer::CLibusbTransfer() {
    m_nInitError = libusb_init(&m_pContext);
    if (m_nInitError != 0) m_pContext = nullptr;
}

CLibusbTransfer::~CLibusbTransfer() {
    Close();
    if (m_pContext) libusb_exit(m_pContext);
}

long CLibusbTransfer::DeviceList(libusb_device**& list, std::string& reason) {
    list = nullptr;
    const long count =
        m_pContext ? static_cast<long>(libusb_get_device_list(m_pContext, &list)) : m_nInitError;
    if (count < 0)
        reason = platform::Printf(platform::Tr("USB not available: %s"),
                                  libusb_strerror(static_cast<int>(count)));
    return count;
}

bool CLibusbTransfer::Find(std::vector<UsbaspDevice>& found, std::string& reason) {
    found.clear();
    libusb_device** list = nullptr;
    const long count = DeviceList(list, reason);
    if (count < 0) return false;
    for (long i = 0; i < count; ++i) {
        libusb_device_descriptor descriptor{};
        if (libusb_get_device_descriptor(list[i], &descriptor) != 0 ||
            descriptor.idVendor != kVendorId || descriptor.idProduct != kProductId)
            continue;
        UsbaspDevice device;
        device.nBus = libusb_get_bus_number(list[i]);
        device.nAddress = libusb_get_device_address(list[i]);
        libusb_device_handle* handle = nullptr;
        const int error = libusb_open(list[i], &handle);
        if (error != 0) {
            // Its strings cannot be read: keep it, so the user hears why it cannot be used.
            device.strProblem = OpenProblem(error);
            found.push_back(device);
            continue;
        }
        // Other V-USB devices share these ids; the vendor string tells a USBasp apart.
        const bool usbasp = StringDescriptor(handle, descriptor.iManufacturer) == kVendorName;
        device.strSerial = StringDescriptor(handle, descriptor.iSerialNumber);
        libusb_close(handle);
        if (usbasp) found.push_back(device);
    }
    libusb_free_device_list(list, 1);
    return true;
}

bool CLibusbTransfer::Open(const UsbaspDevice& device, std::string& reason) {
    Close();
    libusb_device** list = nullptr;
    const long count = DeviceList(list, reason);
    if (count < 0) return false;
    int error = LIBUSB_ERROR_NO_DEVICE;
    for (long i = 0; i < count; ++i) {
        if (libusb_get_bus_number(list[i]) == device.nBus &&
            libusb_get_device_address(list[i]) == device.nAddress) {
            error = libusb_open(list[i], &m_hDevice);
            break;
        }
    }
    libusb_free_device_list(list, 1);
    if (error != 0) {
        m_hDevice = nullptr;
        reason = "USBasp " + device.Name() + ": " + OpenProblem(error);
        return false;
    }
    return true;
}

int CLibusbTransfer::ControlIn(std::uint8_t request, std::uint16_t value, std::uint16_t index,
                               std::uint8_t* data, int length, int timeoutMs, std::string& reason) {
    if (!m_hDevice) {
        reason = libusb_strerror(LIBUSB_ERROR_NO_DEVICE);
        return -1;
    }
    constexpr std::uint8_t kVendorIn = static_cast<std::uint8_t>(LIBUSB_REQUEST_TYPE_VENDOR) |
                                       static_cast<std::uint8_t>(LIBUSB_RECIPIENT_DEVICE) |
                                       static_cast<std::uint8_t>(LIBUSB_ENDPOINT_IN);
    const int n = libusb_control_transfer(m_hDevice, kVendorIn, request, value, index, data,
                                          static_cast<std::uint16_t>(length),
                                          static_cast<unsigned>(timeoutMs));
    if (n < 0) {
        reason = libusb_strerror(n);
        return -1;
    }
    return n;
}

void CLibusbTransfer::Close() {
    if (m_hDevice) libusb_close(m_hDevice);
    m_hDevice = nullptr;
}
