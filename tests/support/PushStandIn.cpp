#include "tests/support/PushStandIn.h"

#include <httplib.h>

#include <thread>

namespace testsupport {

struct PushStandIn::Impl {
    httplib::Server server;
    std::thread thread;
    mutable std::mutex mutex;
    mutable std::condition_variable arrived;
    std::vector<Reply> replies;
    std::vector<Received> received;
};

PushStandIn::PushStandIn(std::vector<Reply> replies) : impl_(std::make_unique<Impl>()) {
    impl_->replies = std::move(replies);
    impl_->server.Post(".*", [this](const httplib::Request& req, httplib::Response& res) {
        std::lock_guard lock(impl_->mutex);
        Received r;
        r.target = req.target;
        for (const auto& [name, value] : req.headers) {
            r.headers[name] = value;
        }
        r.body = req.body;
        size_t n = impl_->received.size();
        impl_->received.push_back(std::move(r));
        const Reply& reply = impl_->replies.empty()
                                 ? Reply{}
                                 : impl_->replies[std::min(n, impl_->replies.size() - 1)];
        res.status = reply.status;
        res.set_content(reply.body, "application/json");
        impl_->arrived.notify_all();
    });
    port_ = static_cast<std::uint16_t>(impl_->server.bind_to_any_port("127.0.0.1"));
    impl_->thread = std::thread([this] { impl_->server.listen_after_bind(); });
}

PushStandIn::~PushStandIn() {
    impl_->server.stop();
    impl_->thread.join();
}

std::string PushStandIn::base() const {
    return "http://127.0.0.1:" + std::to_string(port_);
}

std::vector<PushStandIn::Received> PushStandIn::received() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->received;
}

bool PushStandIn::WaitFor(size_t n, int ms) const {
    std::unique_lock lock(impl_->mutex);
    return impl_->arrived.wait_for(lock, std::chrono::milliseconds(ms),
                                   [&] { return impl_->received.size() >= n; });
}

} // namespace testsupport
