// A private gammu-smsd on its dummy phone driver for the SMS tests, and the
// small file helpers that reading its folders takes. The daemon is started
// by scripts/gammu-smsd.sh in a folder of the test's and stopped when the
// object goes (the script also ends it by itself after two minutes, so that
// a crashed test leaves nothing running).
//
//   if (!testsupport::GammuSmsdInstalled()) GTEST_SKIP() << ...;
//   testsupport::GammuSmsd gateway(dir / "gateway");
//   ASSERT_TRUE(gateway.started());
//   platform::Device().smsOutbox = gateway.outbox();
//   ... send ...
//   std::vector<fs::path> sent = gateway.WaitForSent();
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

// The whole content of a file ("" when it cannot be read).
std::string Slurp(const std::filesystem::path& path);
// The entries of a folder, sorted by name (none when it cannot be read).
std::vector<std::filesystem::path> FilesIn(const std::filesystem::path& dir);
// A message as gammu-smsd's Unicode files hold it: a little-endian
// byte-order mark, then the UTF-16 text.
std::string UnicodeFile(const std::u16string& text);

// Whether gammu-smsd is on the PATH (scripts/install-deps.sh installs it).
bool GammuSmsdInstalled();

class GammuSmsd {
  public:
    explicit GammuSmsd(std::filesystem::path dir);
    ~GammuSmsd();
    GammuSmsd(const GammuSmsd&) = delete;
    GammuSmsd& operator=(const GammuSmsd&) = delete;

    bool started() const { return started_; }
    std::filesystem::path outbox() const { return dir_ / "outbox"; }
    std::filesystem::path sentFolder() const { return dir_ / "sent"; }
    std::filesystem::path errorFolder() const { return dir_ / "error"; }
    std::string Log() const { return Slurp(dir_ / "smsd.log"); }
    // Waits (in real time, up to 30 s: the daemon is another process that
    // looks at its outbox every second) until something was sent, and
    // returns what was.
    std::vector<std::filesystem::path> WaitForSent() const;

  private:
    std::filesystem::path dir_;
    std::filesystem::path script_;
    bool started_ = false;
};

} // namespace testsupport
