#ifndef SCRIVLET_TESTS_E2E_HARDENING_HARDENING_SUPPORT_H_
#define SCRIVLET_TESTS_E2E_HARDENING_HARDENING_SUPPORT_H_

// What the hardening tests need beyond the shared end-to-end fixture: a web
// site of their own (self-advancing pages, hostile pages, a second origin),
// the stand-in management server, a tmpfs mount, a record of the texts the
// program's windows show, and the document split into its elements.

#include <httplib.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "scrivlet_fixture.h"

namespace scrivlet::e2e::hardening {

// A page with no margin and a beacon after its load event, as the shared
// test server's pages have: GET /beacon?page=<path and query>.
std::string BeaconPage(const std::string& title, const std::string& body,
                       const std::string& script = "");

// An answer of a Site route.
struct Reply {
  int status = 200;
  std::string html;
  std::string location;  // for a 3xx answer
};

// A web site on 127.0.0.1 with a free port whose pages the test defines,
// recording every request it receives. Unknown paths get 404. Beacons are
// answered 204 and recorded like every other request.
class Site {
 public:
  using Route = std::function<Reply(const RecordedRequest&)>;

  Site();
  ~Site();
  Site(const Site&) = delete;
  Site& operator=(const Site&) = delete;

  // Routes by exact path (without the query). Set before the pages are
  // visited.
  void Add(const std::string& path, Route route);
  void AddPage(const std::string& path, const std::string& html);

  int port() const { return port_; }
  // "http://127.0.0.1:PORT" + path_and_query, or with another host name
  // that reaches the same server ("localhost").
  std::string Url(const std::string& path_and_query,
                  const std::string& host = "127.0.0.1") const;

  std::vector<RecordedRequest> Requests() const;
  std::vector<RecordedRequest> RequestsTo(const std::string& path) const;
  int BeaconCount(const std::string& page) const;
  bool WaitForBeacon(const std::string& page, int count,
                     std::chrono::milliseconds timeout = kWaitTimeout) const;
  bool WaitForRequest(const std::string& path, int count,
                      std::chrono::milliseconds timeout = kWaitTimeout) const;

 private:
  void Handle(const httplib::Request& request, httplib::Response& response,
              const std::string& body);

  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  mutable std::mutex mutex_;
  std::vector<RecordedRequest> requests_;
  std::map<std::string, Route> routes_;
};

// The stand-in management server as its own process with a store of its own.
class StandInServer {
 public:
  StandInServer();
  // "http://127.0.0.1:PORT/"
  const std::string& url() const { return url_; }
  // STORE/upload-NNNN
  std::string Upload(int number) const;

 private:
  TempDir store_{"scrivlet-stand-in-"};
  std::unique_ptr<ChildProcess> process_;
  std::string url_;
};

// A tmpfs of `size` mounted on `path` (an existing directory) for the life
// of the object. Needs root; throws std::runtime_error with the reason when
// the mount fails.
class TmpfsMount {
 public:
  TmpfsMount(const std::string& path, const std::string& size);
  ~TmpfsMount();
  TmpfsMount(const TmpfsMount&) = delete;
  TmpfsMount& operator=(const TmpfsMount&) = delete;
  void RemountReadOnly() const;

 private:
  std::string path_;
};

// Writes `path` full with one file: after this, no write of even one byte
// succeeds there. Removing the file frees the space again.
void FillFileSystem(const std::string& path);

// The texts the program's windows lay out, recorded by a small preloaded
// library that watches pango_layout_set_text: the only way to read what a
// message box says without accessibility. One text a line.
class WindowTexts {
 public:
  WindowTexts();
  // The environment additions that switch the recording on.
  void AddTo(Environment& environment) const;
  std::string All() const;
  bool Contains(const std::string& part) const;
  bool WaitFor(const std::string& part,
               std::chrono::milliseconds timeout = kWaitTimeout) const;

 private:
  TempDir dir_{"scrivlet-texts-"};
};

// The REQUEST elements of a document after its first line, each with its
// line ends; nullopt when the document does not start with the first line
// or holds anything else than whole elements (a half-written element).
std::optional<std::vector<std::string>> WholeElements(
    const std::string& document);

// A free loopback port on which nothing listens.
int ClosedPort();

// The shared fixture with a site of the test's own and a program start
// whose environment the test may extend.
class HardeningTest : public ScrivletTest {
 protected:
  // Starts the program with the usual environment plus `extra`.
  void StartProgramWith(const Environment& extra = {});
  // Starts it, waits for the main window and answers both credential
  // dialogs with Escape.
  void StartRecording(const Environment& extra = {});
  // Forgets the windows of a program that has ended, so that the next
  // start looks for its own.
  void ForgetProgram();
  // Types the address of the site's `path_and_query` and waits for its
  // beacon.
  void Visit(const std::string& path_and_query);

  Site site_;
};

}  // namespace scrivlet::e2e::hardening

#endif  // SCRIVLET_TESTS_E2E_HARDENING_HARDENING_SUPPORT_H_
