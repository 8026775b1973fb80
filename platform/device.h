// The emulated device: where its file system lives, what its network
// reaches, its clock and its services. Front-ends (the terminal program, the
// headless test driver) configure it once before the program starts; the
// platform layer reads it. The program itself never sees these values except
// through the platform calls that use them.
#pragma once

#include "platform/clock.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace platform {

struct DeviceConfig {
    // Folder that stands for the phone's file system root: the phone path
    // "\Program Files\X" is <root>/Program Files/X.
    std::filesystem::path root;
    // Folder for the single-instance lock and socket; <root>/.run by default.
    std::filesystem::path runtimeDir;
    // HOST of the quote server (the Host header names it) and its port.
    std::string serverHost = "wap.stockat.test";
    std::uint16_t serverPort = 80;
    // The operator's WAP gateway for connection method "1": a dotted quad.
    std::string gatewayAddress = "127.0.0.1";
    std::uint16_t gatewayPort = 80;
    // Outbox folder of a running gammu-smsd; empty: no SMS service.
    std::filesystem::path smsOutbox;
    // Local time zone of the device.
    std::string timeZone = "Asia/Shanghai";
    // Whether the Connection Manager reports a connection.
    bool networkUp = true;
    // Program that ShellExecuteEx "open" runs.
    std::string opener = "xdg-open";
    // Send bubbles to the desktop's notification service when a session bus
    // is there.
    bool desktopNotifications = true;
};

// The device's configuration and clock. Set them before the program starts.
DeviceConfig& Device();
DeviceClock& Clock();
void SetClock(const DeviceClock& clock);

// Maps a phone path ("\Program Files\MyTradlynx\qzfen\afxg002") to a path
// under the device root.
std::filesystem::path DevicePath(const std::u16string& phonePath);

// The default device root: $XDG_DATA_HOME/stockat (~/.local/share/stockat).
std::filesystem::path DefaultDeviceRoot();

// The folder for the single-instance lock and socket: Device().runtimeDir,
// or <root>/.run when that is empty.
std::filesystem::path RuntimeDir();

} // namespace platform
