// The device root of the data-file fuzz targets: a folder of their own in
// memory (tmpfs), where the flushes of every save cost nothing, so that a
// target runs thousands of inputs a second rather than tens. It is removed
// when the fuzzer exits.
#pragma once

#include "platform/device.h"

#include <cstdlib>
#include <filesystem>
#include <string>

// Makes a fresh device root named after `target`, points the device at it,
// creates the data folder and returns the path of the data file `file`
// ("afxg002" or "afxg003") in it.
inline std::filesystem::path UseFuzzDeviceRoot(const std::string& target, const char* file) {
    static std::string root;
    std::string pattern = "/dev/shm/stockat-fuzz-" + target + "-XXXXXX";
    root = mkdtemp(pattern.data());
    platform::Device().root = root;
    std::filesystem::path path =
        std::filesystem::path(root) / "Program Files" / "MyTradlynx" / "qzfen" / file;
    std::filesystem::create_directories(path.parent_path());
    std::atexit([] { std::filesystem::remove_all(root); });
    return path;
}
