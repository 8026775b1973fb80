// The headless test driver (see Driver.h).

#include "platform/headless/Driver.h"

#include "platform/clock.h"
#include "platform/device.h"
#include "platform/loop.h"

#include <chrono>
#include <stdexcept>

namespace platform::headless {

namespace {

// Long enough for a blocking exchange with a loopback peer that stalls.
constexpr std::chrono::milliseconds kIdleTimeout{60000};

int PlainLoop() {
    MSG msg{};
    while (GetMessage(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessage(&msg);
    }
    return static_cast<int>(msg.wParam);
}

} // namespace

Driver::Driver(Options options) : options_(std::move(options)) {
    observe::ResetForTests();
    Device().timeZone = options_.timeZone;
    Device().desktopNotifications = false;
    std::optional<std::int64_t> start = ParseLocalTime(options_.start, options_.timeZone);
    SetClock(DeviceClock::Manual(start ? *start : 0));
    SetScreenSize(options_.cols, options_.rows);
    SetFrontEnd(this);
    screen_ = Canvas(options_.cols, options_.rows);
}

// Ending the device thread ends the modal loops still open, and the code
// after them runs, inside the work that opened them: what a piece of work
// captures by reference must outlive the driver, not only the test body.
Driver::~Driver() {
    if (thread_.joinable()) {
        observe::SetShuttingDown(true);
        thread_.join();
    }
    SetFrontEnd(nullptr);
    observe::ResetForTests();
}

void Driver::Start(std::function<int()> program) {
    if (started_.exchange(true)) {
        throw std::logic_error("the device thread already runs a program");
    }
    thread_ = std::thread([this, program = std::move(program)] {
        BindUiThread();
        int code = program();
        exitCode_.store(code);
        finished_.store(true);
        observe::NotifyWaiters();
    });
    WaitIdle();
}

void Driver::EnsureRunning() {
    if (!started_.load()) {
        Start(PlainLoop);
    }
}

std::optional<int> Driver::ExitCode() const {
    if (!finished_.load()) {
        return std::nullopt;
    }
    return exitCode_.load();
}

void Driver::WaitFor(std::uint64_t seq) {
    if (!started_.load() || finished_.load()) {
        return;
    }
    bool ok = observe::WaitIdle(
        seq, [this] { return finished_.load(); }, kIdleTimeout);
    if (!ok) {
        throw std::runtime_error("the device thread did not become idle");
    }
}

void Driver::WaitIdle() {
    WaitFor(observe::Kick());
}

void Driver::Run(std::function<void()> work) {
    EnsureRunning();
    if (finished_.load()) {
        // The program has ended: nothing else touches the platform now.
        work();
        return;
    }
    RunOnUiThread(std::move(work));
    WaitIdle();
}

void Driver::Key(UINT vk, bool shift) {
    EnsureRunning();
    KeyInput key;
    key.vk = vk;
    key.shift = shift;
    InjectKey(key);
    WaitIdle();
}

void Driver::Char(char16_t ch) {
    EnsureRunning();
    KeyInput key;
    key.ch = ch;
    if (ch >= u'a' && ch <= u'z') {
        key.vk = static_cast<UINT>(ch - u'a' + u'A');
    } else if (ch >= u'A' && ch <= u'Z') {
        key.vk = static_cast<UINT>(ch);
        key.shift = true;
    } else if (ch >= u'0' && ch <= u'9') {
        key.vk = static_cast<UINT>(ch);
    } else if (ch == u' ') {
        key.vk = 0x20;
    }
    InjectKey(key);
    WaitIdle();
}

void Driver::Type(const std::u16string& text) {
    for (char16_t ch : text) {
        Char(ch);
    }
}

void Driver::Tap(int x, int y) {
    EnsureRunning();
    InjectTap(x, y);
    WaitIdle();
}

void Driver::TapCell(int col, int row) {
    Tap(col * kCellWidth + kCellWidth / 2, row * kCellHeight + kCellHeight / 2);
}

void Driver::Resize(int cols, int rows) {
    EnsureRunning();
    InjectResize(cols, rows);
    WaitIdle();
}

void Driver::EndSession() {
    EnsureRunning();
    InjectEndSession();
    WaitIdle();
}

void Driver::Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    EnsureRunning();
    PostMessage(hwnd, msg, wParam, lParam);
    WaitIdle();
}

void Driver::Advance(std::int64_t ms) {
    EnsureRunning();
    DeviceClock& clock = Clock();
    std::int64_t target = clock.NowMs() + std::max<std::int64_t>(ms, 0);
    while (!finished_.load()) {
        std::optional<std::int64_t> due = observe::IdleNextDue();
        if (!due || *due > target) {
            break;
        }
        std::int64_t now = clock.NowMs();
        if (*due > now) {
            clock.Advance(*due - now);
        }
        WaitIdle();
    }
    std::int64_t now = clock.NowMs();
    if (target > now) {
        clock.Advance(target - now);
    }
    WaitIdle();
}

void Driver::Stall(std::int64_t ms) {
    EnsureRunning();
    Clock().Advance(std::max<std::int64_t>(ms, 0));
    WaitIdle();
}

std::int64_t Driver::NowMs() const {
    return Clock().NowMs();
}

std::vector<observe::WindowInfo> Driver::Windows() const {
    return observe::WindowStack();
}

HWND Driver::Top() const {
    for (const auto& w : observe::WindowStack()) {
        if (w.visible) {
            return w.hwnd;
        }
    }
    return nullptr;
}

HWND Driver::FindTop(const std::u16string& className) const {
    for (const auto& w : observe::WindowStack()) {
        if (w.className == className) {
            return w.hwnd;
        }
    }
    return nullptr;
}

std::u16string Driver::TextOf(HWND hwnd) {
    return OnDevice([hwnd] {
        int n = GetWindowTextLength(hwnd);
        std::u16string text(static_cast<std::size_t>(n) + 1, u'\0');
        int got = GetWindowText(hwnd, text.data(), n + 1);
        text.resize(static_cast<std::size_t>(std::max(got, 0)));
        return text;
    });
}

std::u16string Driver::ItemText(HWND dialog, int id) {
    return OnDevice([dialog, id] {
        HWND item = GetDlgItem(dialog, id);
        if (item == nullptr) {
            return std::u16string();
        }
        int n = GetWindowTextLength(item);
        std::u16string text(static_cast<std::size_t>(n) + 1, u'\0');
        int got = GetWindowText(item, text.data(), n + 1);
        text.resize(static_cast<std::size_t>(std::max(got, 0)));
        return text;
    });
}

LRESULT Driver::ItemMessage(HWND dialog, int id, UINT msg, WPARAM wParam, LPARAM lParam) {
    return OnDevice([=] { return SendDlgItemMessage(dialog, id, msg, wParam, lParam); });
}

int Driver::CheckState(HWND dialog, int id) {
    return static_cast<int>(ItemMessage(dialog, id, BM_GETCHECK));
}

HWND Driver::Focus() const {
    return GetFocus();
}

bool Driver::ScreenHas(const std::string& text) const {
    for (const auto& row : screen_.TextRows()) {
        if (row.find(text) != std::string::npos) {
            return true;
        }
    }
    return false;
}

void Driver::Present(const Canvas& screen) {
    screen_ = screen;
    ++presentCount_;
}

} // namespace platform::headless
