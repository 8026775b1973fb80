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

std::u16string Lower(std::u16string s) {
    for (char16_t& c : s) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c + 32);
        }
    }
    return s;
}

// Decodes one character reference that starts at `text[i]` ('&'); returns
// false when it is none we know, so that the '&' stands for itself.
bool DecodeEntity(const std::u16string& text, size_t& i, std::u16string& out) {
    size_t end = text.find(u';', i);
    if (end == std::u16string::npos || end - i > 10) {
        return false;
    }
    std::u16string name = text.substr(i + 1, end - i - 1);
    char32_t cp = 0;
    if (name == u"amp") {
        cp = u'&';
    } else if (name == u"lt") {
        cp = u'<';
    } else if (name == u"gt") {
        cp = u'>';
    } else if (name == u"quot") {
        cp = u'"';
    } else if (name == u"apos") {
        cp = u'\'';
    } else if (name == u"nbsp") {
        cp = u' ';
    } else if (name.size() > 1 && name[0] == u'#') {
        bool hex = name[1] == u'x' || name[1] == u'X';
        for (size_t k = hex ? 2 : 1; k < name.size(); ++k) {
            char16_t c = name[k];
            int digit = (c >= u'0' && c <= u'9')          ? c - u'0'
                        : (hex && c >= u'a' && c <= u'f') ? c - u'a' + 10
                        : (hex && c >= u'A' && c <= u'F') ? c - u'A' + 10
                                                          : -1;
            if (digit < 0 || cp > 0x10FFFF) {
                return false;
            }
            cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(digit);
        }
        if (cp == 0 || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            cp = 0xFFFD;
        }
    } else {
        return false;
    }
    if (cp >= 0x10000) {
        out.push_back(static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(cp));
    }
    i = end + 1;
    return true;
}

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

    size_t i = 0;
    while (i < html.size()) {
        char16_t c = html[i];
        // As in HTML, '<' opens a tag only before a letter, '/' or '!'.
        char16_t next = i + 1 < html.size() ? html[i + 1] : u'\0';
        bool tagStart = (next >= u'a' && next <= u'z') || (next >= u'A' && next <= u'Z') ||
                        next == u'/' || next == u'!';
        if (c == u'<' && tagStart) {
            size_t end = html.find(u'>', i);
            if (end == std::u16string::npos) {
                emitText(c); // an unterminated tag is text
                ++i;
                continue;
            }
            std::u16string tag = html.substr(i + 1, end - i - 1);
            i = end + 1;
            bool closing = !tag.empty() && tag[0] == u'/';
            size_t nameStart = closing ? 1 : 0;
            size_t nameEnd = nameStart;
            while (nameEnd < tag.size() && tag[nameEnd] != u' ' && tag[nameEnd] != u'/' &&
                   tag[nameEnd] != u'\t' && tag[nameEnd] != u'\n') {
                ++nameEnd;
            }
            std::u16string name = Lower(tag.substr(nameStart, nameEnd - nameStart));
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
            continue; // every other tag is dropped, its text kept
        }
        if (c == u'&') {
            std::u16string decoded;
            size_t j = i;
            if (DecodeEntity(html, j, decoded)) {
                for (char16_t d : decoded) {
                    emitText(d);
                }
                i = j;
                continue;
            }
        }
        if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n') {
            pendingSpace = true; // runs of white space show as one blank
        } else {
            emitText(c);
        }
        ++i;
    }
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
