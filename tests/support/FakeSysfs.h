// A sysfs tree laid out as the kernel lays it out (class links into the device tree, device and
// subsystem links, attribute files ending in a newline), made afresh by each test that describes ports.
#pragma once

#include "SysfsPorts.h"
#include "TempDir.h"

#include <filesystem>
#include <fstream>
#include <string>

inline constexpr const char* kUsbHost = "devices/pci0000:00/0000:00:14.0/usb1";

class Sysfs {
public:
    const std::string& Root() const { return m_dir.Path(); }

    void File(const std::string& path, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(Root()) / std::filesystem::path(path).parent_path());
        std::ofstream(Root() + "/" + path) << text << "\n";
    }
    void Link(const std::string& path, const std::string& target) {
        std::filesystem::create_directories(std::filesystem::path(Root()) / std::filesystem::path(path).parent_path());
        std::filesystem::create_directory_symlink(target, Root() + "/" + path);
    }
    void Dir(const std::string& path) { std::filesystem::create_directories(Root() + "/" + path); }
    void Remove(const std::string& path) { std::filesystem::remove(Root() + "/" + path); }

    // A tty class device below the device directory device, linked from class/tty as the kernel links it.
    void Tty(const std::string& device, const std::string& name, bool withDevice = true) {
        const std::string tty = device + "/tty/" + name;
        Dir(tty);
        if (withDevice)
            Link(tty + "/device", "../../../" + std::filesystem::path(device).filename().string());
        Link("class/tty/" + name, "../../" + tty);
    }
    void Bus(const std::string& device, const std::string& bus) {
        Dir("bus/" + bus);
        std::string up;
        for (const char c : device)
            if (c == '/')
                up += "../";
        Link(device + "/subsystem", "../" + up + "bus/" + bus);
    }

    // An FTDI adapter: USB device 1-2, interface 1-2:1.0, usb-serial port ttyUSB0, tty ttyUSB0.
    void UsbSerialAdapter(const std::string& product = "FT232R USB UART") {
        const std::string usb = std::string(kUsbHost) + "/1-2";
        File(usb + "/idVendor", "0403");
        File(usb + "/idProduct", "6001");
        File(usb + "/manufacturer", "FTDI");
        File(usb + "/product", product);
        File(usb + "/serial", "A10KZ1XY");
        Bus(usb, "usb");
        const std::string port = usb + "/1-2:1.0/ttyUSB0";
        Bus(port, "usb-serial");
        Tty(port, "ttyUSB0");
    }
    // A CDC-ACM device: the tty hangs directly below the interface.
    void AcmDevice() {
        const std::string usb = std::string(kUsbHost) + "/1-3";
        File(usb + "/idVendor", "2341");
        File(usb + "/idProduct", "0043");
        File(usb + "/manufacturer", "Arduino (www.arduino.cc)");
        File(usb + "/serial", "75735323");
        Bus(usb + "/1-3:1.0", "usb");
        Tty(usb + "/1-3:1.0", "ttyACM0");
    }
    // rfcomm bind 0 00:1A:7D:DA:71:13 1: a virtual tty holding the remote address and channel.
    void Rfcomm(const std::string& name, const std::string& address, const std::string& channel) {
        const std::string tty = "devices/virtual/tty/" + name;
        Dir(tty);
        if (!address.empty())
            File(tty + "/address", address);
        if (!channel.empty())
            File(tty + "/channel", channel);
        Link("class/tty/" + name, "../../" + tty);
    }
    // A 16550A of the board, found by PnP, behind a serial-base port device as newer kernels have it.
    void OnboardUart() {
        Bus("devices/pnp0/00:04", "pnp");
        Bus("devices/pnp0/00:04/00:04:0", "serial-base");
        Bus("devices/pnp0/00:04/00:04:0/00:04:0.0", "serial-base");
        Tty("devices/pnp0/00:04/00:04:0/00:04:0.0", "ttyS0");
        File("devices/pnp0/00:04/00:04:0/00:04:0.0/tty/ttyS0/type", "4");
    }
    // A line the 8250 driver keeps in reserve: under its own platform device, no UART (type 0).
    void PlaceholderUart(const std::string& name) {
        Bus("devices/platform/serial8250", "platform");
        Tty("devices/platform/serial8250", name);
        File("devices/platform/serial8250/tty/" + name + "/type", "0");
    }

private:
    TempDir m_dir{false};
};

// The process's sysfs root for the whole description path, given back afterwards.
class SysfsRootFor {
public:
    explicit SysfsRootFor(const std::string& root) : m_previous(sysfs_ports::SysfsRoot()) {
        sysfs_ports::SetSysfsRoot(root);
    }
    ~SysfsRootFor() { sysfs_ports::SetSysfsRoot(m_previous); }

private:
    std::string m_previous;
};

