// `stockat --push-test`: one test message through every configured channel.
#pragma once

#include <chrono>
#include <filesystem>
#include <iosfwd>

namespace push {

// Sends the test message through every channel of push.conf at `config` at
// once and prints a line per channel to `out`, "delivered" or why not (keys
// masked); problems of the file itself go to `err`. Returns 0 when every
// channel delivered, 1 otherwise (no channels, a refused file, a bad line).
int RunPushTest(const std::filesystem::path& config, std::ostream& out, std::ostream& err,
                std::chrono::milliseconds deadline = std::chrono::seconds(10));

} // namespace push
