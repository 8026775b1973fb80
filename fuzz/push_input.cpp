// Feeds arbitrary bytes to push.conf's reader and, as a reply body, to every
// channel's judgement: none may crash, and no verdict's reason may show a
// channel's key.
#include "push/Channels.h"
#include "push/Config.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    push::Config config = push::ParseConfig(text);
    static const push::Channel kChannels[] = {
        *push::ParseChannel("pushplus://fuzzTOKEN0001", nullptr),
        *push::ParseChannel("schan://fuzzKEY000001", nullptr),
        *push::ParseChannel("wecombot://fuzzKEY000002", nullptr),
        *push::ParseChannel("dingtalk://SECfuzz@fuzzTOKEN0003", nullptr),
        *push::ParseChannel("feishu://fuzzHOOK00004", nullptr),
        *push::ParseChannel("bark://127.0.0.1/fuzzDEVICE05", nullptr),
        *push::ParseChannel("ntfy://127.0.0.1/fuzzTOPIC006", nullptr),
        *push::ParseChannel("tgram://fuzzBOT0007/1", nullptr),
        *push::ParseChannel("gotify://127.0.0.1/fuzzAPP00008", nullptr),
        *push::ParseChannel("json://127.0.0.1/fuzzPATH0009", nullptr),
    };
    int status = size ? 100 + data[0] * 2 : 200;
    for (const push::Channel& c : kChannels) {
        push::Outcome o = push::Judge(c, status, text);
        if (text.find(c.key) == std::string::npos && o.reason.find(c.key) != std::string::npos) {
            __builtin_trap();
        }
    }
    for (const push::Channel& c : config.channels) {
        push::BuildRequest(c, push::Message{}, 1700000000000);
    }
    return 0;
}
