// The feeds of the live market as the program's options name them.
#include "server/Feeds.h"
#include "server/Upstream.h"

namespace server {

std::optional<FeedSource> ParseFeedOption(std::string_view text, std::string* error) {
    const size_t equals = text.find('=');
    const std::string_view name = text.substr(0, equals);
    const FeedAdapter* adapter = FindFeedAdapter(name);
    if (!adapter) {
        if (error) {
            error->assign("unknown feed \"").append(name).append("\"; the feeds are");
            for (const FeedAdapter& a : FeedAdapters())
                error->append(" ").append(a.name);
        }
        return std::nullopt;
    }
    FeedSource source{adapter, std::string(adapter->defaultBase)};
    if (equals != std::string_view::npos) {
        std::string url(text.substr(equals + 1));
        if (!ParseUpstreamBase(url, nullptr)) {
            if (error)
                *error = "feed " + std::string(name) +
                         " wants http://HOST[:PORT] or https://HOST[:PORT], got \"" + url + "\"";
            return std::nullopt;
        }
        if (url.back() == '/')
            url.pop_back();
        source.base = url;
    }
    return source;
}

std::vector<FeedSource> DefaultFeeds() {
    std::vector<FeedSource> feeds;
    for (const FeedAdapter& adapter : FeedAdapters())
        feeds.push_back({&adapter, std::string(adapter.defaultBase)});
    return feeds;
}

} // namespace server
