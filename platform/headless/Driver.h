// The headless test driver: a front-end that tests use the program through,
// exactly as a person would, without a terminal.
//
// The program (or, without one, a plain message loop) runs on its own
// thread, the "device thread". Every action of the driver injects input (or
// runs a piece of code there) and returns only when that thread is idle:
// blocked in GetMessage with nothing posted, no paint pending and no timer
// due at the current device time. So tests are deterministic, and nested
// modal loops just work: an action that opens a dialog returns while the
// dialog's loop waits for the next key.
//
// The clock is manual. Advance(ms) walks it forward timer-due by timer-due,
// letting the device thread run until idle at each step, so ticks happen as
// they would in real time; Stall(ms) jumps at once, as if the thread had
// been busy all that time (a due timer then ticks once, not once per missed
// period).
//
// Reading calls (windows, texts, the screen, the shell's rows, menus,
// bubbles) are made while the device thread is idle.
#pragma once

#include "platform/Canvas.h"
#include "platform/frontend.h"
#include "platform/observe.h"
#include "platform/win.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace platform::headless {

struct Options {
    int cols = 48;
    int rows = 24;
    // Device local time when the test starts ("YYYY-MM-DD HH:MM[:SS]").
    // 2026-03-04 is a Wednesday; 10:00 is inside trading hours.
    std::string start = "2026-03-04 10:00:00";
    std::string timeZone = "Asia/Shanghai";
};

class Driver : public FrontEnd {
  public:
    explicit Driver(Options options = {});
    ~Driver() override;
    Driver(const Driver&) = delete;
    Driver& operator=(const Driver&) = delete;

    // ---- The program ---------------------------------------------------------
    // Runs `program` (a WinMain) on the device thread and returns when it is
    // idle (or has ended).
    void Start(std::function<int()> program);
    // Runs `work` on the device thread and returns when the thread is idle
    // again: when `work` has returned, or when it waits inside a modal loop
    // it opened. Without a program a plain message loop is started first.
    void Run(std::function<void()> work);
    bool Finished() const { return finished_.load(); }
    std::optional<int> ExitCode() const;

    // ---- Input -------------------------------------------------------------
    void Key(UINT vk, bool shift = false);
    void Char(char16_t ch); // a key that types `ch` (vk 'A'.. for letters, digits as is)
    void Type(const std::u16string& text);
    void SoftKey(int index) { Key(index == 0 ? VK_F1 : VK_F2); }
    void TitleButton() { Key(VK_F3); }
    void Enter() { Key(VK_RETURN); }
    void Escape() { Key(VK_ESCAPE); }
    void Tab(bool shift = false) { Key(VK_TAB, shift); }
    void Up() { Key(VK_UP); }
    void Down() { Key(VK_DOWN); }
    void Left() { Key(VK_LEFT); }
    void Right() { Key(VK_RIGHT); }
    void Tap(int x, int y);
    void TapCell(int col, int row);
    void Resize(int cols, int rows);
    // The system ends the session (InjectEndSession), as a SIGTERM does.
    void EndSession();
    // PostMessage from the test, then wait for idle.
    void Post(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

    // ---- The clock -------------------------------------------------------------
    void Advance(std::int64_t ms);
    void Stall(std::int64_t ms);
    std::int64_t NowMs() const;

    // ---- Reading -----------------------------------------------------------------
    std::vector<observe::WindowInfo> Windows() const; // topmost first
    HWND Top() const;
    HWND FindTop(const std::u16string& className) const;
    std::u16string TextOf(HWND hwnd); // WM_GETTEXT, on the device thread
    std::u16string ItemText(HWND dialog, int id);
    LRESULT ItemMessage(HWND dialog, int id, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    int CheckState(HWND dialog, int id);
    HWND Focus() const;
    const Canvas& Screen() const { return screen_; }
    std::vector<std::string> ScreenRows() const { return screen_.TextRows(); }
    std::string ScreenText() const { return screen_.ToString(); }
    Cell At(int col, int row) const { return screen_.At(col, row); }
    // Whether the screen shows `text` (UTF-8) on some row.
    bool ScreenHas(const std::string& text) const;
    std::u16string Title() const { return observe::TitleText(); }
    std::u16string TitleButtonText() const { return observe::TitleButton(); }
    std::u16string SoftKeyText(int index) const { return observe::SoftKeyCaption(index); }
    std::vector<std::vector<observe::MenuEntry>> Menu() const { return observe::OpenMenu(); }
    std::vector<observe::BubbleInfo> Bubbles() const { return observe::Bubbles(); }
    std::vector<observe::BubbleInfo> BubblesShown() const { return observe::BubblesShown(); }
    int BackgroundCount() const { return backgroundCount_; }
    int ForegroundCount() const { return foregroundCount_; }
    int PresentCount() const { return presentCount_; }

    // Runs `fn` on the device thread and returns its value (for reads that
    // must send messages). `fn` must not open a modal loop.
    template <typename F> auto OnDevice(F fn) -> decltype(fn()) {
        using R = decltype(fn());
        std::optional<R> result;
        Run([&] { result = fn(); });
        return result ? *result : R{};
    }

    void WaitIdle();

    // FrontEnd.
    void Present(const Canvas& screen) override;
    void GoToBackground() override { ++backgroundCount_; }
    void ComeToFront() override { ++foregroundCount_; }

  private:
    void EnsureRunning();
    void WaitFor(std::uint64_t seq);

    Options options_;
    std::thread thread_;
    std::atomic<bool> started_{false};
    std::atomic<bool> finished_{false};
    std::atomic<int> exitCode_{0};
    Canvas screen_;
    int backgroundCount_ = 0;
    int foregroundCount_ = 0;
    int presentCount_ = 0;
};

} // namespace platform::headless
