// The gammu-smsd gateway of the SMS tests and its file helpers.
#include "tests/support/SmsGateway.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

namespace testsupport {

namespace fs = std::filesystem;

namespace {

fs::path SourceDir() {
    return STOCKAT_SOURCE_DIR;
}

} // namespace

std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<fs::path> FilesIn(const fs::path& dir) {
    std::vector<fs::path> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string UnicodeFile(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

bool GammuSmsdInstalled() {
    return std::system("command -v gammu-smsd >/dev/null 2>&1") == 0;
}

GammuSmsd::GammuSmsd(fs::path dir)
    : dir_(std::move(dir)), script_(SourceDir() / "scripts" / "gammu-smsd.sh") {
    const std::string command = "bash '" + script_.string() + "' start '" + dir_.string() + "' 120";
    started_ = std::system(command.c_str()) == 0;
}

GammuSmsd::~GammuSmsd() {
    const std::string command = "bash '" + script_.string() + "' stop '" + dir_.string() + "'";
    int rc = std::system(command.c_str());
    (void)rc;
}

std::vector<fs::path> GammuSmsd::WaitForSent() const {
    std::vector<fs::path> sent;
    for (int i = 0; i < 300 && sent.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        sent = FilesIn(sentFolder());
    }
    return sent;
}

} // namespace testsupport
