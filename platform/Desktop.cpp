// Sends the device's notification bubbles to the desktop's notification
// service (org.freedesktop.Notifications) over the session bus, with sd-bus.
//
// A bubble's content is a small HTML page. The service takes a summary and a
// body; the body may hold the service's simple markup (<b>, <i>, <u>) only
// when GetCapabilities lists "body-markup", so the page is turned into that
// markup or into plain text. Line breaks (<br>, paragraphs) become newlines,
// which the service shows as line breaks in both forms.
//
// The program's thread must never wait long for the desktop: every call has
// a short timeout, and any failure (no bus, no service, a slow service) just
// means that the desktop shows nothing; the bubble on the device's own
// screen is unaffected.

#include "platform/desktop.h"

#include "platform/Html.h"
#include "platform/Text.h"
#include "platform/device.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <systemd/sd-bus.h>
#include <vector>

namespace platform::desktop {

namespace {

constexpr std::uint64_t kCallTimeoutUs = 500 * 1000;
constexpr std::int32_t kExpireTimeoutMs = 40 * 1000;

const char* const kService = "org.freedesktop.Notifications";
const char* const kPath = "/org/freedesktop/Notifications";
const char* const kInterface = "org.freedesktop.Notifications";

struct BusDeleter {
    void operator()(sd_bus* bus) const { sd_bus_flush_close_unref(bus); }
};
struct MessageDeleter {
    void operator()(sd_bus_message* m) const { sd_bus_message_unref(m); }
};
using Bus = std::unique_ptr<sd_bus, BusDeleter>;
using Message = std::unique_ptr<sd_bus_message, MessageDeleter>;

Bus Connect(const char* address) {
    sd_bus* raw = nullptr;
    if (sd_bus_new(&raw) < 0) {
        return nullptr;
    }
    Bus bus(raw);
    if (sd_bus_set_address(raw, address) < 0 || sd_bus_set_bus_client(raw, 1) < 0 ||
        sd_bus_set_method_call_timeout(raw, kCallTimeoutUs) < 0 || sd_bus_start(raw) < 0) {
        return nullptr;
    }
    return bus;
}

bool HasBodyMarkup(sd_bus* bus) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* raw = nullptr;
    int rc =
        sd_bus_call_method(bus, kService, kPath, kInterface, "GetCapabilities", &error, &raw, "");
    sd_bus_error_free(&error);
    if (rc < 0) {
        return false;
    }
    Message reply(raw);
    if (sd_bus_message_enter_container(raw, 'a', "s") < 0) {
        return false;
    }
    const char* capability = nullptr;
    bool markup = false;
    while (sd_bus_message_read(raw, "s", &capability) > 0) {
        if (std::strcmp(capability, "body-markup") == 0) {
            markup = true;
        }
    }
    return markup;
}

// --- The page, as the service's body --------------------------------------

} // namespace

std::u16string BodyFromHtml(const std::u16string& html, bool markup) {
    std::u16string out;
    bool pendingSpace = false;
    auto emitText = [&](char16_t c) {
        if (pendingSpace && !out.empty() && out.back() != u'\n') {
            out.push_back(u' ');
        }
        pendingSpace = false;
        if (markup && c == u'&') {
            out += u"&amp;";
        } else if (markup && c == u'<') {
            out += u"&lt;";
        } else if (markup && c == u'>') {
            out += u"&gt;";
        } else {
            out.push_back(c);
        }
    };
    auto lineBreak = [&] {
        pendingSpace = false;
        while (!out.empty() && out.back() == u' ') {
            out.pop_back();
        }
        out.push_back(u'\n');
    };
    auto paragraphBreak = [&] {
        if (!out.empty() && out.back() != u'\n') {
            lineBreak();
        }
    };
    // Open formatting tags, innermost last; a tag is written only where no
    // tag of its kind is open already. Closing one closes and reopens the
    // tags opened after it, so the markup stays well nested whatever order
    // the page closes its tags in, and what a page leaves open is closed at
    // its end.
    struct OpenTag {
        char16_t kind;
        bool written;
    };
    std::vector<OpenTag> open;
    auto isOpen = [&](char16_t kind) {
        return std::any_of(open.begin(), open.end(),
                           [&](const OpenTag& t) { return t.kind == kind; });
    };
    auto writeTag = [&](char16_t kind, bool closing) {
        out += closing ? u"</" : u"<";
        out.push_back(kind);
        out.push_back(u'>');
    };
    auto openTag = [&](char16_t kind) {
        bool write = !isOpen(kind);
        if (write) {
            writeTag(kind, false);
        }
        open.push_back({kind, write});
    };
    auto closeTag = [&](char16_t kind) {
        auto it = std::find_if(open.rbegin(), open.rend(),
                               [&](const OpenTag& t) { return t.kind == kind; });
        if (it == open.rend()) {
            return; // closes nothing
        }
        size_t index = static_cast<size_t>(open.rend() - it) - 1;
        for (size_t j = open.size(); j-- > index;) {
            if (open[j].written) {
                writeTag(open[j].kind, true);
            }
        }
        std::vector<OpenTag> above(open.begin() + static_cast<std::ptrdiff_t>(index) + 1,
                                   open.end());
        open.resize(index);
        for (const OpenTag& t : above) {
            openTag(t.kind);
        }
    };
    auto format = [&](char16_t kind, bool closing) {
        if (markup) {
            closing ? closeTag(kind) : openTag(kind);
        }
    };

    html::Handler handler;
    handler.tag = [&](const std::u16string& name, bool closing) {
        if (name == u"b" || name == u"strong") {
            format(u'b', closing);
        } else if (name == u"i" || name == u"em") {
            format(u'i', closing);
        } else if (name == u"u") {
            format(u'u', closing);
        } else if (name == u"br") {
            if (!closing) {
                lineBreak(); // "<br></br>" is one break
            }
        } else if (name == u"p" || name == u"div" || name == u"tr") {
            paragraphBreak();
        }
        // every other tag is dropped, its text kept
    };
    handler.text = [&](char32_t c, bool reference) {
        if (!reference && (c == U' ' || c == U'\t' || c == U'\r' || c == U'\n')) {
            pendingSpace = true; // runs of white space show as one blank
        } else if (c >= 0x10000) {
            emitText(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
            emitText(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            emitText(static_cast<char16_t>(c));
        }
    };
    // An unterminated tag is text.
    html::Read(html, html::Unterminated::IsText, handler);
    for (size_t j = open.size(); j-- > 0;) {
        if (open[j].written) {
            writeTag(open[j].kind, true);
        }
    }
    while (!out.empty() && (out.back() == u'\n' || out.back() == u' ')) {
        out.pop_back();
    }
    size_t start = out.find_first_not_of(u"\n ");
    return start == std::u16string::npos ? std::u16string() : out.substr(start);
}

void Notify(const std::u16string& title, const std::u16string& html) {
    if (!Device().desktopNotifications) {
        return;
    }
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    if (address == nullptr || address[0] == '\0') {
        return;
    }
    Bus bus = Connect(address);
    if (!bus) {
        return;
    }
    std::string summary = Utf16ToUtf8(title);
    std::string body = Utf16ToUtf8(BodyFromHtml(html, HasBodyMarkup(bus.get())));
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    sd_bus_call_method(bus.get(), kService, kPath, kInterface, "Notify", &error, &reply,
                       "susssasa{sv}i", "stockat", std::uint32_t{0}, "", summary.c_str(),
                       body.c_str(), 0, 0, kExpireTimeoutMs);
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
}

} // namespace platform::desktop
