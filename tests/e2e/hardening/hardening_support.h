#ifndef SCRIVLET_TESTS_E2E_HARDENING_HARDENING_SUPPORT_H_
#define SCRIVLET_TESTS_E2E_HARDENING_HARDENING_SUPPORT_H_

// What the hardening tests need beyond the shared end-to-end fixture, its
// recording server and the stand-in management server: a web site of their
// own (self-advancing pages, hostile pages, a second origin), a record of the texts the program's windows show, and the document split
// into its elements.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "recording_server.h"
#include "scrivlet_fixture.h"
#include "stand_in_server.h"

namespace scrivlet::e2e::hardening {

// A web site whose pages the test defines with Add and AddPage. Unknown
// paths get 404; beacons and favicon look-ups are answered 204. No page may
// be kept in the browser's cache.
class Site : public RecordingServer {
 public:
  Site();
};

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

// The shared fixture with a site of the test's own and a program start
// whose environment the test may extend.
class HardeningTest : public ScrivletTest {
 protected:
  // Starts the program with the usual environment plus `extra`.
  void StartProgramWith(const Environment& extra = {});
  // Starts it, waits for the main window and answers both credential
  // dialogs with Escape.
  void StartRecording(const Environment& extra = {});
  // Forgets the windows of a program that has ended, once they are gone,
  // so that the next start looks for its own.
  void ForgetProgram();
  // Types the address of the site's `path_and_query` and waits for its
  // beacon.
  void Visit(const std::string& path_and_query);

  Site site_;
};

}  // namespace scrivlet::e2e::hardening

#endif  // SCRIVLET_TESTS_E2E_HARDENING_HARDENING_SUPPORT_H_
