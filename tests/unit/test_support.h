#ifndef SCRIVLET_TESTS_UNIT_TEST_SUPPORT_H_
#define SCRIVLET_TESTS_UNIT_TEST_SUPPORT_H_

// Fakes for the browser, the window and the proxy, a fresh agent
// installation in a temporary directory, and a file layer that fails chosen
// appends. Files are real everywhere else.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <array>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix_file_system.h"
#include "session/recording_session.h"

namespace scrivlet::testing {

inline constexpr BrowserId kMainView = 1;
inline constexpr BrowserId kFrame = 2;
inline constexpr BrowserId kPopupView = 3;

class FakeBrowser : public Browser {
 public:
  BrowserId Object() const override { return kMainView; }
  void Navigate(const std::string& url) override {
    if (navigate_error) throw std::runtime_error(*navigate_error);
    navigations.push_back(url);
  }
  void Navigate2(const std::string& url) override {
    calls.push_back("Navigate2 " + url);
  }
  void GoBack() override { calls.push_back("GoBack"); }
  void GoForward() override { calls.push_back("GoForward"); }
  void Refresh() override { calls.push_back("Refresh"); }
  void FillFirstForm(BrowserId target,
                     const std::array<std::string, 4>& values) override {
    fills.emplace_back(target, values);
  }

  std::optional<std::string> navigate_error;
  std::vector<std::string> navigations;
  std::vector<std::string> calls;
  std::vector<std::pair<BrowserId, std::array<std::string, 4>>> fills;
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
  std::vector<std::string> dialogs;
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
  void Apply(const ProxyLists& lists, const std::string& server,
             const std::string& port) override {
    calls.push_back({lists.proxy_list, lists.bypass_list, server, port});
  }
  std::vector<std::array<std::string, 4>> calls;
};

// The real file layer, except that chosen AppendText calls fail as a full
// disk would, leaving the file untouched.
class FailingFileSystem : public PosixFileSystem {
 public:
  void AppendText(const std::string& path, const std::string& text) override {
    if (fail_appends) throw FileError(path, "No space left on device");
    PosixFileSystem::AppendText(path, text);
  }
  bool fail_appends = false;
};

// A fresh agent installation: <root>/configuration/agent.ini and the working
// directory <root>/agent/work, removed again afterwards.
class Installation {
 public:
  Installation() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "scrivlet-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      throw std::runtime_error("mkdtemp failed");
    }
    root_ = pattern;
    std::filesystem::create_directories(root_ / "configuration");
    std::filesystem::create_directories(root_ / "agent" / "work");
  }
  Installation(const Installation&) = delete;
  Installation& operator=(const Installation&) = delete;
  ~Installation() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  std::string WorkingDirectory() const {
    return (root_ / "agent" / "work").string();
  }
  std::string AgentIni() const {
    return (root_ / "configuration" / "agent.ini").string();
  }
  std::string TransXml() const { return WorkingDirectory() + "/trans.xml"; }
  std::string TransName() const {
    return WorkingDirectory() + "/transName.txt";
  }

 private:
  std::filesystem::path root_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

inline bool Exists(const std::string& path) {
  return std::filesystem::exists(path);
}

// Joins lines, each followed by CR LF, as the document holds them.
inline std::string Lines(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\r\n";
  return out;
}

inline const std::string kStartLine =
    "<?xml version='1.0'?><HTTP-TRANSACTION>\r\n";
inline const std::string kAcceptHl =
    "<HL>Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
    "application/vnd.ms-powerpoint, application/vnd.ms-excel, "
    "application/msword, */*</HL>";
inline const std::string kUserAgentHl =
    "<HL>User-Agent: Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; "
    "CNETHomeBuild03171999; DigExt)</HL>";

// The management server of the test installation.
inline const std::string kServer = "http://mgmt:8080/";
inline const std::string kRecordPage =
    kServer + "com.brenik.morix.core.util.FileTransfer/WYT/record.html";
inline const std::string kServletAnswer =
    "http://mgmt:8080/servlet/com.brenik.morix.core.util.ApplyTransDocServlet";

// A session started in a fresh installation with the given agent.ini and
// transName.txt (nullopt: file absent).
class SessionTest : public ::testing::Test {
 protected:
  void Start(const std::optional<std::string>& agent_ini =
                 "dbmgmtsrvurl=" + kServer + "\r\n",
             const std::optional<std::string>& trans_name =
                 "transactionName=Checkout\r\nuuid=1234\r\n") {
    if (agent_ini) WriteFile(install.AgentIni(), *agent_ini);
    if (trans_name) WriteFile(install.TransName(), *trans_name);
    session.Form_Load(InitialGeometry{10095, 10545, 8175, 10095, 9360});
  }

  // Body of trans.xml after its first line.
  std::string Recorded() const {
    const std::string all = ReadFile(install.TransXml());
    if (all.rfind(kStartLine, 0) != 0) return "(no start line) " + all;
    return all.substr(kStartLine.size());
  }

  void Navigate(const std::string& url,
                const std::optional<std::string>& post = std::nullopt,
                const std::string& headers = "") {
    session.WebBrowser1_BeforeNavigate2(kMainView, url, post, headers);
  }

  Installation install;
  FailingFileSystem files;
  FakeBrowser browser;
  FakeView view;
  FakeProxy proxy;
  RecordingSession session{files, browser, view, proxy,
                           install.WorkingDirectory()};
  SessionState& state = session.state();
};

}  // namespace scrivlet::testing

#endif  // SCRIVLET_TESTS_UNIT_TEST_SUPPORT_H_
