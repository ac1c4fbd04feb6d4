#ifndef SCRIVLET_TESTS_UNIT_TEST_SUPPORT_H_
#define SCRIVLET_TESTS_UNIT_TEST_SUPPORT_H_

// The shared fakes for the browser, the window and the proxy
// (support/fakes.h), a fresh agent installation in a temporary directory,
// and a file layer that fails chosen appends. Files are real everywhere
// else.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cerrno>

#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix_file_system.h"
#include "session/recording_session.h"
#include "support/fakes.h"

namespace scrivlet::testing {

// The real file layer, except that chosen AppendText calls fail as a full
// disk would, leaving the file untouched, reads fail as a bad disk would,
// and the sync of a folder fails.
class FailingFileSystem : public PosixFileSystem {
 public:
  void AppendText(const std::string& path, const std::string& text) override {
    if (fail_appends) throw FileError(path, "No space left on device");
    PosixFileSystem::AppendText(path, text);
  }
  std::string ReadText(const std::string& path) override {
    if (fail_reads) throw FileError(path, "Input/output error");
    return PosixFileSystem::ReadText(path);
  }
  int SyncFolder(const std::string& directory) override {
    return fail_folder_syncs ? EIO : PosixFileSystem::SyncFolder(directory);
  }
  bool fail_appends = false;
  bool fail_reads = false;
  bool fail_folder_syncs = false;
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

// `text` with each CR LF turned into LF, as an editor may save a document.
inline std::string WithLf(const std::string& text) {
  return std::regex_replace(text, std::regex("\r\n"), "\n");
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

  // Completes, in order, the error pages of the loads that failed
  // (FakeBrowser::loads_fail).
  void CompleteErrorPages() {
    for (const std::string& url : std::exchange(browser.error_pages, {})) {
      session.WebBrowser1_DocumentComplete(kMainView, url);
    }
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
