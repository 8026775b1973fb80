// A whole program on the headless driver for the settings dialogs' tests
// (see SettingsHarness.h).
#include "tests/support/SettingsHarness.h"

#include "alerts/NotifyMethodDlg.h"
#include "alerts/TargetPriceDlg.h"
#include "app/ConnectionDlg.h"
#include "app/ServiceInfo.h"
#include "app/WinMain.h"
#include "common/ProgramState.h"
#include "common/ShellState.h"
#include "net/HttpFetch.h"
#include "platform/Text.h"
#include "platform/device.h"
#include "refresh/BackgroundDlg.h"
#include "refresh/RefreshCycle.h"
#include "refresh/RefreshFrequencyDlg.h"
#include "res/ResourceIds.h"
#include "res/Resources.h"
#include "watchlist/DataFiles.h"

#include <cstdlib>
#include <stdexcept>

namespace testsupport {

SettingsSession::SettingsSession(const std::string& start) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "stockat-settings-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    root_ = pattern;
    platform::headless::Options options;
    options.start = start;
    driver_ = std::make_unique<platform::headless::Driver>(options);
    platform::Device().root = root_;
    platform::Device().runtimeDir = root_ / ".run";
    server_ = std::make_unique<ScriptedQuoteServer>();
    server_->PointDevice();
    ResetProgramState();
    // g++ 12 at -O3 takes these inlined assignments of a literal to a std::string for an
    // overlapping copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
    settings.ConnectionMethod = "2";
    settings.Background = "W";
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
}

SettingsSession::~SettingsSession() {
    driver_.reset();
    server_.reset();
    ResetProgramState();
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

void SettingsSession::AddStock(const std::string& code, const std::string& nameUtf8,
                               const std::string& latest, const std::string& changePercent,
                               const std::string& previousClose, const std::string& sellTarget,
                               const std::string& buyTarget) {
    QuoteRecord r;
    r.code = code;
    r.name = Gbk(nameUtf8);
    r.latest = latest;
    r.changePercent = changePercent;
    r.sellTarget = sellTarget;
    // g++ 12 at -O3 takes these inlined assignments of a literal to a std::string for an
    // overlapping copy: a known false -Wrestrict of its string code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
    r.sellAlerted = "N";
    r.buyTarget = buyTarget;
    r.buyAlerted = "N";
    r.change = "0";
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif
    r.previousClose = previousClose;
    r.open = previousClose;
    r.high = latest;
    r.low = latest;
    r.updateTime = "10:00:00";
    stocks.push_back(r);
}

void SettingsSession::Start() {
    ResetProgramState();
    if (writeFiles) {
        // The data files are written the way the program writes them, then
        // the memory is reset so that only the files carry the state.
        Settings = settings;
        for (std::size_t i = 0; i < stocks.size() && i < kMaxStocks; ++i) {
            WatchList[i] = stocks[i];
        }
        stockCount = static_cast<std::int32_t>(stocks.size());
        SaveSettings();
        SaveWatchList();
        ResetProgramState();
    }
    HINSTANCE instance = RegisterResourceModule(&StockAtResources());
    driver_->Start([instance] { return WinMain(instance, nullptr, nullptr, SW_SHOW); });
}

void SettingsSession::Command(int id) {
    driver_->Post(Shell.mainWindow, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), 0), 0);
}

int SettingsSession::QuoteRequests() const {
    int count = 0;
    for (const std::string& request : server_->requests()) {
        if (RequestTarget(request).find("stockquery.php") != std::string::npos) {
            ++count;
        }
    }
    return count;
}

HWND SettingsSession::Top() {
    return driver_->Top();
}

std::u16string SettingsSession::TopTitle() {
    HWND top = Top();
    return top == nullptr ? std::u16string() : driver_->TextOf(top);
}

bool SettingsSession::DialogOpen(const std::u16string& title) {
    for (const auto& w : driver_->Windows()) {
        if (w.className == u"#32770" && w.title == title) {
            return true;
        }
    }
    return false;
}

std::u16string SettingsSession::TakeMessage() {
    if (TopTitle() != u"瞰市") {
        return {};
    }
    std::u16string text = Text(IDC_MESSAGE_TEXT);
    driver_->SoftKey(0);
    return text;
}

std::u16string SettingsSession::Text(int id) {
    return driver_->ItemText(Top(), id);
}

std::string SettingsSession::TextUtf8(int id) {
    return Utf8(Text(id));
}

bool SettingsSession::Checked(int id) {
    return driver_->CheckState(Top(), id) == BST_CHECKED;
}

LRESULT SettingsSession::Message(int id, UINT msg, WPARAM wParam, LPARAM lParam) {
    return driver_->ItemMessage(Top(), id, msg, wParam, lParam);
}

void SettingsSession::SetText(int id, const std::u16string& text) {
    HWND dlg = Top();
    driver_->Run([&] { SetDlgItemText(dlg, id, text.c_str()); });
}

void SettingsSession::Click(int id) {
    HWND dlg = Top();
    // BM_CLICK of a radio button may open nothing modal; the reply comes
    // back once the dialog has handled the click.
    driver_->Run([&] { SendDlgItemMessage(dlg, id, BM_CLICK, 0, 0); });
}

void SettingsSession::Spin(int id, int delta) {
    HWND dlg = Top();
    driver_->Run([&] {
        NMUPDOWN change{};
        change.hdr.hwndFrom = GetDlgItem(dlg, id);
        change.hdr.idFrom = static_cast<UINT_PTR>(id);
        change.hdr.code = UDN_DELTAPOS;
        change.iPos = 0;
        change.iDelta = delta;
        SendMessage(dlg, WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&change));
    });
}

void SettingsSession::SpinByKey(int id, bool up) {
    HWND dlg = Top();
    driver_->Run([&] { SetFocus(GetDlgItem(dlg, id)); });
    if (up) {
        driver_->Up();
    } else {
        driver_->Down();
    }
}

} // namespace testsupport
