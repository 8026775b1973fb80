// A whole program on the headless driver, for the tests of the settings and
// information dialogs: a fresh device root in a temporary folder, the
// program's state reset to its start values, optional data files written
// before the start, the bundled quote server on loopback, and short ways to
// reach a dialog through its menu command and to read and set its controls.
//
//   testsupport::SettingsSession s;             // 2026-03-04 10:00, a Wednesday
//   s.settings.ConnectionMethod = "2";          // written to afxg002 ...
//   s.AddStock("600016", ...);                  // ... and afxg003 by Start
//   s.Start();
//   s.Command(IDC_REFRESHFREQ);                 // the dialog is open now
//   EXPECT_EQ(s.Text(IDC_FREQ_MINUTES), u"1.0");
#pragma once

#include "tests/support/Gbk.h"

#include "common/QuoteRecord.h"
#include "platform/headless/Driver.h"
#include "tests/support/QuoteServerFixture.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class SettingsSession {
  public:
    // `start` is the device's local time ("YYYY-MM-DD HH:MM[:SS]").
    explicit SettingsSession(const std::string& start = "2026-03-04 10:00:00");
    ~SettingsSession();
    SettingsSession(const SettingsSession&) = delete;
    SettingsSession& operator=(const SettingsSession&) = delete;

    // What the data files hold at the start. The connection method is set,
    // so that the first start does not ask for one; clear it to see that.
    SettingsRecord settings;
    std::vector<QuoteRecord> stocks;
    // Adds a stock to the watch-list file (GBK texts; the name may be UTF-8,
    // it is converted).
    void AddStock(const std::string& code, const std::string& nameUtf8, const std::string& latest,
                  const std::string& changePercent, const std::string& previousClose,
                  const std::string& sellTarget = "--", const std::string& buyTarget = "--");
    // Whether Start writes the data files (off: a first start, no files).
    bool writeFiles = true;

    // Writes the files and runs the program until it is idle.
    void Start();

    platform::headless::Driver& driver() { return *driver_; }
    ScriptedQuoteServer& server() { return *server_; }
    const std::filesystem::path& root() const { return root_; }
    // Requests for quote pages (stocks and indices) the server has had; the
    // once-a-run service request is not among them.
    int QuoteRequests() const;

    // Sends a menu command to the main window (as the menu would) and waits.
    void Command(int id);
    // The top-level window on top (the open dialog, if any) and its title.
    HWND Top();
    std::u16string TopTitle();
    bool DialogOpen(const std::u16string& title);
    // Texts, check states and messages of the top dialog's controls.
    std::u16string Text(int id);
    std::string TextUtf8(int id);
    bool Checked(int id);
    LRESULT Message(int id, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
    // The text of the message dialog on top, closing it with "返回"; empty
    // when the top window is not the message dialog.
    std::u16string TakeMessage();
    // Sets a control's text (WM_SETTEXT, which also tells the dialog of an
    // edit's change) and waits.
    void SetText(int id, const std::u16string& text);
    // Clicks a button of the top dialog (BM_CLICK) and waits.
    void Click(int id);
    // Sends the top dialog an up-down notification as the control would,
    // with `delta` (-1 up, +1 down), and waits.
    void Spin(int id, int delta);
    // Focuses a control of the top dialog and presses the Up or Down key.
    void SpinByKey(int id, bool up);
    // Soft keys and the title-bar OK.
    void Save() { driver_->SoftKey(1); }
    void Cancel() { driver_->SoftKey(0); }
    void TitleOk() { driver_->TitleButton(); }

    // Runs code on the device thread.
    template <typename F> void OnDevice(F fn) {
        driver_->Run([&] { fn(); });
    }

  private:
    std::filesystem::path root_;
    std::unique_ptr<ScriptedQuoteServer> server_;
    std::unique_ptr<platform::headless::Driver> driver_;
};

} // namespace testsupport
