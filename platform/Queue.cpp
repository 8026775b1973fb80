// The UI thread's message queue: posted messages, input from the front-end,
// paint and timers, and the wait that blocks the thread when there is
// nothing to do.
//
// GetMessage hands out, in this order: posted messages, then input (turned
// into messages as it is fetched, after the shell has taken what is its own),
// then WM_PAINT, then WM_TIMER. A WM_TIMER is never stored: a timer whose
// moment has passed is "due", and the message is made when it is fetched, so
// a timer has at most one tick pending however long the thread was busy;
// SetTimer on an existing timer restarts it, and KillTimer drops a due tick
// with the timer.
//
// When nothing is there, the thread blocks in poll() on the wake-up pipe,
// the watched descriptors and the real delay until the next timer is due
// (DeviceClock::RealDelayFor); with the manual clock it waits until a test
// moves the clock and wakes it. No polling loop: an idle program uses no
// CPU. Only the functions marked thread-safe may be called from another
// thread: PostMessage, RunOnUiThread, the Inject functions and the driver's
// idle tracking.

#include "platform/WinInternal.h"
#include "platform/device.h"
#include "platform/frontend.h"
#include "platform/loop.h"
#include "platform/observe.h"

#include <atomic>
#include <climits>
#include <condition_variable>
#include <deque>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace platform::wm {

namespace {

struct InputEvent {
    enum class Type { Key, Tap, Resize, EndSession } type = Type::Key;
    KeyInput key;
    int x = 0;
    int y = 0;
};

struct FdWatch {
    int id = 0;
    int fd = -1;
    std::function<void()> onReadable;
};

struct Queue {
    std::mutex mutex;
    std::condition_variable idleChanged;
    std::deque<MSG> posted;
    std::deque<InputEvent> input;
    std::deque<std::function<void()>> work;
    std::vector<FdWatch> watches;
    int nextWatchId = 1;
    bool quit = false;
    int quitCode = 0;
    int wake[2] = {-1, -1};
    std::uint64_t seq = 0;
    bool idle = false;
    std::uint64_t idleSeq = 0;
    std::optional<std::int64_t> idleNextDue;
    bool shuttingDown = false;
};

Queue& Q() {
    static Queue q;
    return q;
}

std::atomic<std::thread::id> uiThread{};
FrontEnd* frontEnd = nullptr;
Canvas lastPresented;
bool presentedOnce = false;

// The character that TranslateMessage turns into WM_CHAR for the WM_KEYDOWN
// that GetMessage handed out last.
struct PendingChar {
    HWND hwnd = nullptr;
    WPARAM vk = 0;
    char16_t ch = 0;
} pendingChar;

bool OnUiThread() {
    std::thread::id ui = uiThread.load();
    return ui == std::thread::id() || ui == std::this_thread::get_id();
}

void WakeLocked(Queue& q) {
    // Only a thread that waits in poll() needs the byte: a busy one looks at
    // the queues (under this lock) before it waits again.
    if (!q.idle || q.wake[1] < 0) {
        return;
    }
    char byte = 1;
    // A full pipe already wakes the thread; the byte is not needed then.
    [[maybe_unused]] ssize_t n = write(q.wake[1], &byte, 1);
}

MSG MakeMsg(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    MSG m{};
    m.hwnd = hwnd;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = GetTickCount();
    return m;
}

bool Matches(const MSG& m, HWND hwnd, UINT filterMin, UINT filterMax) {
    if (hwnd != nullptr && m.hwnd != hwnd && !IsDescendant(hwnd, m.hwnd)) {
        return false;
    }
    if (filterMin == 0 && filterMax == 0) {
        return true;
    }
    return m.message >= filterMin && m.message <= filterMax;
}

void RunWork() {
    for (;;) {
        std::function<void()> item;
        {
            Queue& q = Q();
            std::lock_guard<std::mutex> lock(q.mutex);
            if (q.work.empty()) {
                return;
            }
            item = std::move(q.work.front());
            q.work.pop_front();
        }
        if (item) {
            item();
        }
    }
}

bool SameCanvas(const Canvas& a, const Canvas& b) {
    if (a.Cols() != b.Cols() || a.Rows() != b.Rows()) {
        return false;
    }
    for (int r = 0; r < a.Rows(); ++r) {
        for (int c = 0; c < a.Cols(); ++c) {
            if (!(a.At(c, r) == b.At(c, r))) {
                return false;
            }
        }
    }
    return true;
}

void PresentIfChanged() {
    if (!S().screenDirty && presentedOnce) {
        return;
    }
    Canvas screen;
    ComposeScreen(screen);
    S().screenDirty = false;
    if (presentedOnce && SameCanvas(screen, lastPresented)) {
        return;
    }
    lastPresented = screen;
    presentedOnce = true;
    if (frontEnd != nullptr) {
        frontEnd->Present(lastPresented);
    }
}

// The deepest visible window under a screen point, starting at
// `hwnd`.
HWND HitTest(HWND hwnd, int x, int y) {
    Window* w = Get(hwnd);
    if (w == nullptr || !w->visible) {
        return nullptr;
    }
    POINT o = ScreenOrigin(hwnd);
    int width = w->rect.right - w->rect.left;
    int height = w->rect.bottom - w->rect.top;
    if (x < o.x || y < o.y || x >= o.x + width || y >= o.y + height) {
        return nullptr;
    }
    // Later children lie on top of earlier ones.
    std::vector<HWND> children = w->children;
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        Window* c = Get(*it);
        if (c == nullptr || c->kind == Kind::MenuBar) {
            continue;
        }
        if (HWND hit = HitTest(*it, x, y)) {
            return hit;
        }
    }
    return hwnd;
}

// Turns one input event into the message it gives, if any. Returns false
// when the shell took the event or nobody is there to receive it.
bool ProcessInput(const InputEvent& ev, MSG* out) {
    auto& state = S();
    switch (ev.type) {
    case InputEvent::Type::Key: {
        const KeyInput& key = ev.key;
        if (key.vk != 0 && ShellKey(key.vk, key.shift)) {
            return false;
        }
        HWND target = state.focus;
        if (Get(target) == nullptr || TopLevelOf(target) != state.active) {
            target = state.active;
        }
        if (Get(target) == nullptr) {
            return false;
        }
        if (key.vk == 0) {
            if (key.ch == 0) {
                return false;
            }
            *out = MakeMsg(target, WM_CHAR, key.ch, 1);
            return true;
        }
        LPARAM lp = 1;
        if (key.shift) {
            lp |= KF_SHIFTED;
        }
        if (key.repeat) {
            lp |= LPARAM{1} << 30;
        }
        *out = MakeMsg(target, WM_KEYDOWN, key.vk, lp);
        pendingChar =
            PendingChar{target, key.vk, key.ch >= 0x20 && key.ch != 0x7F ? key.ch : u'\0'};
        return true;
    }
    case InputEvent::Type::Tap: {
        if (ShellTap(ev.x, ev.y)) {
            return false;
        }
        // Pop-ups above the active window (a drop-down list) take taps
        // first; windows below the active one get none.
        HWND hit = nullptr;
        for (auto it = state.zorder.rbegin(); it != state.zorder.rend() && hit == nullptr; ++it) {
            Window* top = Get(*it);
            if (top == nullptr || !top->visible) {
                continue;
            }
            if (*it == state.active) {
                hit = HitTest(*it, ev.x, ev.y);
                break;
            }
            if (!TakesActivation(top)) {
                hit = HitTest(*it, ev.x, ev.y);
            }
        }
        // A disabled control takes the tap and does nothing with it.
        if (hit == nullptr || !Get(hit)->enabled) {
            return false;
        }
        POINT o = ScreenOrigin(hit);
        LPARAM lp = MAKELPARAM(static_cast<WORD>(ev.x - o.x), static_cast<WORD>(ev.y - o.y));
        *out = MakeMsg(hit, WM_LBUTTONDOWN, 0, lp);
        PostFront(MakeMsg(hit, WM_LBUTTONUP, 0, lp));
        return true;
    }
    case InputEvent::Type::Resize: {
        int cols = std::max(ev.x, 20);
        int rows = std::max(ev.y, 6);
        if (cols == state.cols && rows == state.rows) {
            return false;
        }
        state.cols = cols;
        state.rows = rows;
        CloseMenu();
        for (auto& [key, w] : state.windows) {
            if (w->kind == Kind::MenuBar) {
                PlaceBar(w->hwnd);
            }
        }
        MarkScreenDirty();
        // The top-level windows hear of it in their stacking order, bottom
        // first, as posted messages.
        for (HWND h : state.zorder) {
            PostMessage(h, WM_SETTINGCHANGE, SETTINGCHANGE_RESET, 0);
        }
        return false;
    }
    case InputEvent::Type::EndSession: {
        // Each top-level window hears that the session ends, at once and in
        // its stacking order, and may write what it must keep; then every
        // loop ends, as after the session's end on the platform.
        std::vector<HWND> tops = state.zorder;
        for (HWND h : tops) {
            if (IsWindow(h)) {
                SendMessage(h, WM_ENDSESSION, TRUE, ENDSESSION_CLOSEAPP);
            }
        }
        PostQuitMessage(0);
        return false;
    }
    }
    return false;
}

// One step of the queue: fetches the next message without waiting.
bool Fetch(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, bool remove) {
    Queue& q = Q();
    for (;;) {
        RunWork();
        bool haveInput = false;
        InputEvent ev;
        {
            std::unique_lock<std::mutex> lock(q.mutex);
            if (q.shuttingDown) {
                *msg = MakeMsg(nullptr, WM_QUIT, 0, 0);
                return true;
            }
            bool found = false;
            for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
                if (Matches(*it, hwnd, filterMin, filterMax)) {
                    *msg = *it;
                    if (remove) {
                        q.posted.erase(it);
                    }
                    found = true;
                    break;
                }
            }
            if (found) {
                lock.unlock();
                // Messages for windows that are gone are dropped.
                if (msg->hwnd != nullptr && Get(msg->hwnd) == nullptr) {
                    if (!remove) {
                        std::lock_guard<std::mutex> again(q.mutex);
                        for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
                            if (it->hwnd == msg->hwnd) {
                                q.posted.erase(it);
                                break;
                            }
                        }
                    }
                    continue;
                }
                return true;
            }
            if (q.quit && hwnd == nullptr) {
                *msg = MakeMsg(nullptr, WM_QUIT, static_cast<WPARAM>(q.quitCode), 0);
                if (remove) {
                    q.quit = false;
                }
                return true;
            }
            if (!q.input.empty() && remove && hwnd == nullptr && filterMin == 0 && filterMax == 0) {
                ev = q.input.front();
                q.input.pop_front();
                haveInput = true;
            }
        }
        if (haveInput) {
            if (ProcessInput(ev, msg)) {
                return true;
            }
            continue;
        }
        // Paint.
        if (filterMin == 0 || (WM_PAINT >= filterMin && WM_PAINT <= filterMax)) {
            HWND target = FindPaintTarget();
            if (target != nullptr && (hwnd == nullptr || IsDescendant(hwnd, target))) {
                if (remove) {
                    Window* w = Get(target);
                    w->painting = w->update;
                    w->paintingErase = w->needsErase;
                    w->needsPaint = false;
                    w->needsErase = false;
                }
                *msg = MakeMsg(target, WM_PAINT, 0, 0);
                return true;
            }
        }
        // Bubbles leave the screen when their time is up.
        std::int64_t now = Clock().NowMs();
        ExpireBubbles(now);
        // Timers, the longest overdue first.
        if (filterMin == 0 || (WM_TIMER >= filterMin && WM_TIMER <= filterMax)) {
            Timer* best = nullptr;
            for (auto& t : S().timers) {
                if (t.due <= now && (hwnd == nullptr || IsDescendant(hwnd, t.hwnd)) &&
                    (best == nullptr || t.due < best->due)) {
                    best = &t;
                }
            }
            if (best != nullptr) {
                *msg =
                    MakeMsg(best->hwnd, WM_TIMER, best->id, reinterpret_cast<LPARAM>(best->proc));
                if (remove) {
                    // One tick, however late: the next is a whole period on.
                    best->due = now + best->elapse;
                }
                return true;
            }
        }
        return false;
    }
}

// Blocks until something may be there to fetch.
void Wait() {
    PresentIfChanged();
    Queue& q = Q();
    std::int64_t now = Clock().NowMs();
    std::optional<std::int64_t> due = NextTimerDue();
    if (auto bubble = ExpireBubbles(now)) {
        if (!due || *bubble < *due) {
            due = bubble;
        }
    }
    std::vector<pollfd> fds;
    std::vector<FdWatch> watches;
    {
        std::lock_guard<std::mutex> lock(q.mutex);
        if (!q.posted.empty() || !q.input.empty() || q.quit || !q.work.empty() || q.shuttingDown) {
            return;
        }
        if (due && *due <= Clock().NowMs()) {
            return;
        }
        if (q.wake[0] < 0) {
            if (pipe2(q.wake, O_NONBLOCK | O_CLOEXEC) != 0) {
                q.wake[0] = q.wake[1] = -1;
            }
        }
        q.idle = true;
        q.idleSeq = q.seq;
        q.idleNextDue = due;
        q.idleChanged.notify_all();
        if (q.wake[0] >= 0) {
            fds.push_back(pollfd{q.wake[0], POLLIN, 0});
        }
        watches = q.watches;
        for (const auto& w : watches) {
            fds.push_back(pollfd{w.fd, POLLIN, 0});
        }
    }
    int timeout = -1;
    if (due) {
        if (auto real = Clock().RealDelayFor(*due - now)) {
            timeout =
                static_cast<int>(std::min<std::int64_t>(std::max<std::int64_t>(*real, 0), INT_MAX));
        }
    }
    int n = poll(fds.data(), fds.size(), timeout);
    {
        std::lock_guard<std::mutex> lock(q.mutex);
        q.idle = false;
    }
    if (n <= 0) {
        return;
    }
    std::size_t first = 0;
    if (!fds.empty() && fds[0].fd == q.wake[0]) {
        if (fds[0].revents != 0) {
            char buf[256];
            while (read(q.wake[0], buf, sizeof buf) > 0) {
            }
        }
        first = 1;
    }
    for (std::size_t i = first; i < fds.size(); ++i) {
        if (fds[i].revents == 0) {
            continue;
        }
        const FdWatch& w = watches[i - first];
        bool stillWatched = false;
        {
            std::lock_guard<std::mutex> lock(q.mutex);
            for (const auto& live : q.watches) {
                stillWatched = stillWatched || live.id == w.id;
            }
        }
        if (stillWatched && w.onReadable) {
            w.onReadable();
        }
    }
}

void Inject(const InputEvent& ev) {
    Queue& q = Q();
    std::lock_guard<std::mutex> lock(q.mutex);
    q.input.push_back(ev);
    ++q.seq;
    WakeLocked(q);
}

} // namespace

void PostFront(const MSG& msg) {
    Queue& q = Q();
    std::lock_guard<std::mutex> lock(q.mutex);
    q.posted.push_front(msg);
    ++q.seq;
    WakeLocked(q);
}

void RemoveTimersOf(HWND hwnd) {
    auto& t = S().timers;
    t.erase(std::remove_if(t.begin(), t.end(), [&](const Timer& x) { return x.hwnd == hwnd; }),
            t.end());
}

std::optional<std::int64_t> NextTimerDue() {
    std::optional<std::int64_t> due;
    for (const auto& t : S().timers) {
        if (!due || t.due < *due) {
            due = t.due;
        }
    }
    return due;
}

void NotifyComeToFront() {
    if (frontEnd != nullptr) {
        frontEnd->ComeToFront();
    }
}

void NotifyGoToBackground() {
    if (frontEnd != nullptr) {
        frontEnd->GoToBackground();
    }
}

} // namespace platform::wm

using namespace platform::wm;

BOOL PostMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (OnUiThread() && hwnd != nullptr && Get(hwnd) == nullptr) {
        return FALSE;
    }
    Queue& q = Q();
    std::lock_guard<std::mutex> lock(q.mutex);
    q.posted.push_back(MakeMsg(hwnd, msg, wParam, lParam));
    ++q.seq;
    WakeLocked(q);
    return TRUE;
}

void PostQuitMessage(int exitCode) {
    Queue& q = Q();
    std::lock_guard<std::mutex> lock(q.mutex);
    q.quit = true;
    q.quitCode = exitCode;
    ++q.seq;
    WakeLocked(q);
}

LRESULT SendMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    Window* w = Get(hwnd);
    if (w == nullptr || w->proc == nullptr) {
        return 0;
    }
    return w->proc(hwnd, msg, wParam, lParam);
}

LRESULT CallWindowProc(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    return proc != nullptr ? proc(hwnd, msg, wParam, lParam) : 0;
}

BOOL GetMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    if (msg == nullptr) {
        return -1;
    }
    if (uiThread.load() == std::thread::id()) {
        uiThread.store(std::this_thread::get_id());
    }
    for (;;) {
        if (Fetch(msg, hwnd, filterMin, filterMax, true)) {
            return msg->message == WM_QUIT ? FALSE : TRUE;
        }
        Wait();
    }
}

BOOL PeekMessage(MSG* msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT removeFlags) {
    if (msg == nullptr) {
        return FALSE;
    }
    return Fetch(msg, hwnd, filterMin, filterMax, (removeFlags & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG* msg) {
    if (msg == nullptr || msg->message != WM_KEYDOWN) {
        return FALSE;
    }
    PendingChar pc = pendingChar;
    pendingChar = PendingChar{};
    if (pc.ch == 0 || pc.hwnd != msg->hwnd || pc.vk != msg->wParam) {
        return FALSE;
    }
    PostMessage(msg->hwnd, WM_CHAR, pc.ch, msg->lParam);
    return TRUE;
}

LRESULT DispatchMessage(const MSG* msg) {
    if (msg == nullptr) {
        return 0;
    }
    if (msg->message == WM_TIMER && msg->lParam != 0) {
        auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
        proc(msg->hwnd, WM_TIMER, msg->wParam, msg->time);
        return 0;
    }
    if (msg->hwnd == nullptr) {
        return 0;
    }
    return SendMessage(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc) {
    auto& state = S();
    if (hwnd != nullptr && Get(hwnd) == nullptr) {
        return 0;
    }
    // As on the platform, a shorter period than 10 ms is 10 ms, so that a
    // zero period cannot starve every other message.
    std::int64_t elapse = std::max<std::int64_t>(elapseMs, 10);
    std::int64_t now = platform::Clock().NowMs();
    if (hwnd == nullptr && id == 0) {
        id = state.nextThreadTimerId++;
    }
    for (auto& t : state.timers) {
        if (t.hwnd == hwnd && t.id == id) {
            t.elapse = elapse;
            t.due = now + elapse;
            t.proc = proc;
            return id == 0 ? 1 : id;
        }
    }
    state.timers.push_back(Timer{hwnd, id, elapse, now + elapse, proc});
    return id == 0 ? 1 : id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
    auto& t = S().timers;
    auto it = std::find_if(t.begin(), t.end(),
                           [&](const Timer& x) { return x.hwnd == hwnd && x.id == id; });
    if (it == t.end()) {
        return FALSE;
    }
    t.erase(it);
    return TRUE;
}

// ---- loop.h -----------------------------------------------------------------

namespace platform {

int AddFdWatch(int fd, std::function<void()> onReadable) {
    Queue& q = Q();
    std::lock_guard<std::mutex> lock(q.mutex);
    int id = q.nextWatchId++;
    q.watches.push_back(FdWatch{id, fd, std::move(onReadable)});
    ++q.seq;
    WakeLocked(q);
    return id;
}

void RemoveFdWatch(int id) {
    Queue& q = Q();
    std::lock_guard<std::mutex> lock(q.mutex);
    auto& w = q.watches;
    w.erase(std::remove_if(w.begin(), w.end(), [&](const FdWatch& x) { return x.id == id; }),
            w.end());
    ++q.seq;
    WakeLocked(q);
}

void RunOnUiThread(std::function<void()> work) {
    Queue& q = Q();
    std::lock_guard<std::mutex> lock(q.mutex);
    q.work.push_back(std::move(work));
    ++q.seq;
    WakeLocked(q);
}

// ---- frontend.h -------------------------------------------------------------

void SetFrontEnd(FrontEnd* fe) {
    frontEnd = fe;
    presentedOnce = false;
    MarkScreenDirty();
}

void SetScreenSize(int cols, int rows) {
    S().cols = std::max(cols, 20);
    S().rows = std::max(rows, 6);
    MarkScreenDirty();
}

void BindUiThread() {
    uiThread.store(std::this_thread::get_id());
}

void InjectKey(const KeyInput& key) {
    InputEvent ev;
    ev.type = InputEvent::Type::Key;
    ev.key = key;
    Inject(ev);
}

void InjectTap(int x, int y) {
    InputEvent ev;
    ev.type = InputEvent::Type::Tap;
    ev.x = x;
    ev.y = y;
    Inject(ev);
}

void InjectResize(int cols, int rows) {
    InputEvent ev;
    ev.type = InputEvent::Type::Resize;
    ev.x = cols;
    ev.y = rows;
    Inject(ev);
}

void InjectEndSession() {
    InputEvent ev;
    ev.type = InputEvent::Type::EndSession;
    Inject(ev);
}

} // namespace platform

// ---- observe.h: idle tracking -------------------------------------------------

namespace platform::observe {

std::uint64_t Kick() {
    Queue& q = Q();
    std::lock_guard<std::mutex> lock(q.mutex);
    ++q.seq;
    WakeLocked(q);
    return q.seq;
}

bool WaitIdle(std::uint64_t seq, const std::function<bool()>& stop,
              std::chrono::milliseconds timeout) {
    Queue& q = Q();
    std::unique_lock<std::mutex> lock(q.mutex);
    return q.idleChanged.wait_for(lock, timeout,
                                  [&] { return (stop && stop()) || (q.idle && q.idleSeq >= seq); });
}

void NotifyWaiters() {
    Queue& q = Q();
    std::lock_guard<std::mutex> lock(q.mutex);
    q.idleChanged.notify_all();
}

std::optional<std::int64_t> IdleNextDue() {
    Queue& q = Q();
    std::lock_guard<std::mutex> lock(q.mutex);
    return q.idleNextDue;
}

void SetShuttingDown(bool on) {
    Queue& q = Q();
    std::lock_guard<std::mutex> lock(q.mutex);
    q.shuttingDown = on;
    ++q.seq;
    WakeLocked(q);
}

void ResetForTests() {
    auto& state = S();
    // Windows a test left open are destroyed properly, so that every window
    // procedure (the controls' among them) frees what it holds.
    DestroyAllWindows();
    state.windows.clear();
    state.zorder.clear();
    for (auto it = state.classes.begin(); it != state.classes.end();) {
        it = it->second.system ? std::next(it) : state.classes.erase(it);
    }
    state.focus = nullptr;
    state.active = nullptr;
    state.timers.clear();
    state.nextThreadTimerId = 1;
    state.screenDirty = true;
    ResetShell();
    ResetResources();
    {
        Queue& q = Q();
        std::lock_guard<std::mutex> lock(q.mutex);
        q.posted.clear();
        q.input.clear();
        q.work.clear();
        q.watches.clear();
        q.quit = false;
        q.quitCode = 0;
        q.idle = false;
        q.idleNextDue.reset();
        q.shuttingDown = false;
    }
    pendingChar = PendingChar{};
    presentedOnce = false;
    lastPresented = Canvas();
    uiThread.store(std::thread::id());
}

std::vector<std::pair<UINT_PTR, std::int64_t>> TimersOf(HWND hwnd) {
    std::vector<std::pair<UINT_PTR, std::int64_t>> out;
    for (const auto& t : S().timers) {
        if (t.hwnd == hwnd) {
            out.emplace_back(t.id, t.due);
        }
    }
    return out;
}

} // namespace platform::observe
