// The push test: every channel at once, so that one that hangs costs its
// deadline only once.
#include "push/PushTest.h"

#include "push/Channels.h"
#include "push/Config.h"

#include <future>
#include <ostream>
#include <vector>

namespace push {

int RunPushTest(const std::filesystem::path& config, std::ostream& out, std::ostream& err,
                std::chrono::milliseconds deadline) {
    Config c = LoadConfig(config);
    if (!c.refused.empty()) {
        err << "stockat: " << c.refused << "\n";
        return 1;
    }
    for (const ConfigError& e : c.errors) {
        err << "stockat: " << config.string() << ":" << e.line << ": " << e.text << "\n";
    }
    if (c.channels.empty()) {
        err << "stockat: no push channels in " << config.string() << "\n";
        return 1;
    }
    Message m;
    m.title = "瞰市";
    m.text = "瞰市推送测试：收到这条消息，说明这个推送通道设置正确。";
    m.kind = "test";
    std::vector<std::future<Outcome>> sends;
    for (const Channel& channel : c.channels) {
        sends.push_back(std::async(std::launch::async, [&channel, &m, deadline] {
            return Send(channel, m, 0, deadline);
        }));
    }
    bool all = c.errors.empty();
    for (size_t i = 0; i < sends.size(); ++i) {
        Outcome o = sends[i].get();
        out << c.channels[i].masked << ": ";
        if (o.verdict == Verdict::Delivered) {
            out << "delivered\n";
        } else {
            all = false;
            out << "not delivered: " << o.reason
                << (o.verdict == Verdict::Retry ? " (may work later)" : "") << "\n";
        }
    }
    return all ? 0 : 1;
}

} // namespace push
