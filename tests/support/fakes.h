#ifndef SCRIVLET_TESTS_SUPPORT_FAKES_H_
#define SCRIVLET_TESTS_SUPPORT_FAKES_H_

// Fakes for the browser, the main window and the proxy settings that record
// what the session asks of them. Shared by the unit tests, the fuzz targets
// and the benchmarks, so it needs nothing beyond the session's interfaces
// (no test framework).

#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "session/browser.h"
#include "session/browser_events.h"
#include "session/main_window_view.h"
#include "session/proxy_settings.h"

namespace scrivlet::testing {

// What a page got: an answer with `status`, or the engine's error page.
inline PageAnswer Answered(int status) { return {status, false, "", {}}; }
inline PageAnswer ErrorPage(std::string why) { return {{}, true, why, {}}; }

// The main view's object; frames and pop-ups are other objects.
inline constexpr BrowserId kMainView = 1;
inline constexpr BrowserId kFrame = 2;
inline constexpr BrowserId kPopupView = 3;

class FakeBrowser : public Browser {
 public:
  BrowserId Object() const override { return kMainView; }
  // The test directories hold no byte that an address must escape.
  std::string FileAddress(const std::string& path) const override {
    return "file://" + path;
  }
  // The test addresses are in the browser's spelling already.
  std::string Navigate(const std::string& url) override {
    navigations.push_back(url);
    if (loads_fail) error_pages.push_back(url);
    return url;
  }
  void Navigate2(const std::string& url) override {
    calls.push_back("Navigate2 " + url);
  }
  void Focus() override { calls.push_back("Focus"); }
  void GoBack() override { calls.push_back("GoBack"); }
  void GoForward() override { calls.push_back("GoForward"); }
  void Refresh() override { calls.push_back("Refresh"); }
  void FillFirstForm(BrowserId target, std::array<std::string, 4> values,
                     std::function<void(bool)> filled) override {
    fills.emplace_back(target, std::move(values));
    fill_answers.push_back(std::move(filled));
  }

  // As with the engine, Navigate never fails at the call. While
  // `loads_fail` is set, each load it starts fails later, and the engine
  // shows its error page at the address, which completes like a page. The
  // addresses wait in `error_pages` until the test completes them, as the
  // main loop would once the handler that navigated has returned.
  bool loads_fail = false;
  std::vector<std::string> error_pages;
  std::vector<std::string> navigations;
  std::vector<std::string> calls;
  std::vector<std::pair<BrowserId, std::array<std::string, 4>>> fills;
  // Each fill's answer, for the test to call as the page would.
  std::vector<std::function<void(bool)>> fill_answers;
};

struct Message {
  std::string prompt;
  MessageIcon icon;
  bool operator==(const Message&) const = default;
};

class FakeView : public MainWindowView {
 public:
  void SetText1(const std::string& text) override { text1 = text; }
  void SetProgress(const std::string& text) override { progress = text; }
  void SetMousePointer(MousePointer value) override { pointer = value; }
  void SetEndRecordEnabled(bool enabled) override {
    end_record_enabled = enabled;
  }
  void SetStatusText(const std::string& text) override { status_text = text; }
  bool Check1Ticked() const override { return check1; }
  bool Check2Ticked() const override { return check2; }
  void ShowMessage(const std::string& prompt, MessageIcon icon) override {
    messages.push_back({prompt, icon});
    if (on_message) on_message(messages.back());
  }
  bool AskToContinue(const std::string& prompt,
                     const std::string& continue_caption) override {
    questions.push_back({prompt, continue_caption});
    return continue_answer;
  }
  std::optional<Credentials> ShowRealmDialog() override {
    dialogs.push_back("realm");
    return Next(realm_answers);
  }
  std::optional<Credentials> ShowProxyDialog() override {
    dialogs.push_back("proxy");
    return Next(proxy_answers);
  }
  void EndProgram(int status) override { end_status = status; }

  std::string text1 = "(unset)";
  std::string progress = "(unset)";
  MousePointer pointer = MousePointer::kArrow;
  std::optional<bool> end_record_enabled;
  std::string status_text;
  bool check1 = false;
  bool check2 = false;
  std::vector<Message> messages;
  // Called with each message once it is recorded, when set: a benchmark
  // stops or reports there.
  std::function<void(const Message&)> on_message;
  std::vector<std::string> dialogs;
  // Each question asked: its prompt and its continue caption.
  std::vector<std::pair<std::string, std::string>> questions;
  bool continue_answer = false;
  // The dialogs' answers in turn; an empty queue answers Cancel (nullopt).
  std::deque<std::optional<Credentials>> realm_answers;
  std::deque<std::optional<Credentials>> proxy_answers;
  std::optional<int> end_status;

 private:
  static std::optional<Credentials> Next(
      std::deque<std::optional<Credentials>>& answers) {
    if (answers.empty()) return std::nullopt;
    std::optional<Credentials> answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

class FakeProxy : public ProxySettings {
 public:
  bool Apply(const ProxyLists& lists, const std::string& server,
             const std::string& port) override {
    calls.push_back({lists.bypass_list, server, port});
    return usable;
  }
  // bypass list, server, port of each call.
  std::vector<std::array<std::string, 3>> calls;
  // What Apply answers: whether the engine could use the values.
  bool usable = true;
};

// Takes every browser event and does nothing with it; a test or benchmark
// overrides the events it watches.
class IgnoredBrowserEvents : public BrowserEvents {
 public:
  void WebBrowser1_BeforeNavigate2(BrowserId, const std::string&,
                                   const std::optional<std::string>&,
                                   const std::string&, bool) override {}
  void WebBrowser1_DocumentComplete(BrowserId, const std::string&,
                                    const PageAnswer&) override {}
  void WebBrowser1_LoadEndedWithoutPage(BrowserId,
                                        const PageAnswer&) override {}
  void WebBrowser1_WebProcessTerminated(BrowserId) override {}
  void WebBrowser1_NetworkProcessTerminated() override {}
  void WebBrowser1_CommandStateChange(long, bool) override {}
  void WebBrowser1_StatusTextChange(const std::string&) override {}
  std::optional<Credentials> WebBrowser1_Authenticate(
      const AuthenticationChallenge&) override {
    return std::nullopt;
  }
  bool WebBrowser1_CertificateError(const CertificateProblem&) override {
    return false;
  }
};

}  // namespace scrivlet::testing

#endif  // SCRIVLET_TESTS_SUPPORT_FAKES_H_
