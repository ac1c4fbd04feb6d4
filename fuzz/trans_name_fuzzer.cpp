// transName.txt as any bytes, read by the real start of a transaction. The
// name and uuid must be what a plain reading of the file's rules gives: the
// rest of the last line that starts with the key, exact bytes, or the key
// itself when no line does; the document and the intro page follow as usual.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "document/document_writer.h"
#include "fuzz_support.h"
#include "session/recording_session.h"
#include "session/window_layout.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  using namespace scrivlet;
  using namespace scrivlet::fuzz;
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  // The reference: walk the bytes line by line (a line ends at LF, a CR
  // before it is dropped).
  std::string name = "transactionName=";
  std::string uuid = "uuid=";
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    const std::size_t next = end == std::string::npos ? bytes.size() : end + 1;
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    if (next != end && !line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with("transactionName=")) line.substr(16).swap(name);
    if (line.starts_with("uuid=")) uuid = line.substr(5);
    start = next;
  }

  MemoryFileSystem files;
  const std::string work = "/agent/work";
  files.files[work + "/../../configuration/agent.ini"] = "dbmgmtsrvurl=x/\n";
  files.files[work + "/transName.txt"] = bytes;
  StartedSession started(files, work);
  const SessionState& state = started.session.state();

  FUZZ_CHECK(state.transactionName == name, "transactionName");
  FUZZ_CHECK(state.transactionUuid == uuid, "uuid");
  FUZZ_CHECK(started.view.messages.empty(), "no message");
  FUZZ_CHECK(!started.view.end_status, "goes on");
  FUZZ_CHECK(files.files[work + "/trans.xml"] ==
                 std::string(kDocumentStartLine) + kLineEnd,
             "document started");
  FUZZ_CHECK(
      started.browser.navigations ==
          std::vector<std::string>{"file://" + work + "/scrivletIntro.html"},
      "intro page");
  FUZZ_CHECK(files.files[work + "/transName.txt"] == bytes, "left unchanged");

  // A reset reads the file again, with the same result.
  started.session.Reset_Click();
  FUZZ_CHECK(state.transactionName == name && state.transactionUuid == uuid,
             "same after a reset");
  FUZZ_CHECK(files.files[work + "/trans.xml"] ==
                 std::string(kDocumentStartLine) + kLineEnd,
             "fresh document after a reset");
  return 0;
}
