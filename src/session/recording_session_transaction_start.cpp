#include "session/recording_session.h"

#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "document/document_reader.h"
#include "document/document_writer.h"
#include "session/document_file.h"

namespace scrivlet {
namespace {

constexpr char kNameKey[] = "transactionName=";
constexpr char kUuidKey[] = "uuid=";

// The description that follows "Error :": the system's reason, and for a
// file the path it concerns.
std::string Describe(const std::exception& error) {
  if (const auto* file_error = dynamic_cast<const FileError*>(&error)) {
    return std::string(file_error->what()) + " (" + file_error->path() + ")";
  }
  return error.what();
}

std::string KeptElementsText(std::size_t count) {
  return "Recording goes on after the requests kept from an earlier run (" +
         std::to_string(count) +
         " in trans.xml). \"Reset Transaction\" starts over.";
}

}  // namespace

// The kept elements are this transaction's first ones: the first of them
// gives the address the upload names as the first, and the observer hears
// of each as of one just recorded. Returns what the status line says about
// them, "" when there are none.
std::string RecordingSession::ContinueKeptDocument(const std::string& content) {
  const std::vector<DocumentElement> kept =
      ReadDocumentPrefix(content).document.elements;
  answers_.Restart(kept.size());
  if (kept.empty()) return "";
  state_.startUrl = kept.front().Url();
  for (const DocumentElement& element : kept) {
    NoteTransactionHost(element.Url());
  }
  if (element_observer_) {
    for (const DocumentElement& element : kept) {
      element_observer_->ElementRecorded(RecordedElement{
          element.kind, element.method, element.Url(), element.BodySize(),
          content.substr(element.begin, element.end - element.begin)});
    }
  }
  return KeptElementsText(kept.size());
}

void RecordingSession::StartTransaction() {
  try {
    view_.SetText1("");
    view_.SetProgress("");
    state_.startUrl = "";
    state_.pendingUrl = "";
    state_.realmAuth = "";
    state_.proxyAuth = "";
    view_.SetEndRecordEnabled(true);
    state_.didRefresh = false;
    state_.documentClosed = false;
    state_.recordingPaused = false;
    state_.recordPageAddress = "";
    state_.recordPageLoading = false;
    state_.incompleteBodyReported = false;
    answers_.Restart(0);
    transaction_hosts_.clear();
    recorded_script_urls_.clear();
    script_requests_not_recorded_ = 0;
    unannounced_script_requests_.clear();
    if (element_observer_) element_observer_->TransactionStarted();

    state_.transactionName = kNameKey;
    state_.transactionUuid = kUuidKey;
    if (files_.FileExists(state_.transNamePath)) {
      for (const std::string& line : files_.ReadLines(state_.transNamePath)) {
        if (line.starts_with(kNameKey)) {
          state_.transactionName = line.substr(sizeof(kNameKey) - 1);
        }
        if (line.starts_with(kUuidKey)) {
          state_.transactionUuid = line.substr(sizeof(kUuidKey) - 1);
        }
      }
    } else {
      view_.ShowMessage("transName.txt missing! Start Scrivlet as a Task!",
                        MessageIcon::kInformation);
    }
    state_.noProxyMatch = false;

    // An existing document (left by a process ended from outside) is kept
    // and appended to, once a tail torn by that ending is cut. It holds
    // credentials: owner only, like a new one. Appends keep permissions.
    std::string status;
    if (files_.FileExists(state_.transFilePath)) {
      files_.MakeOwnerOnly(state_.transFilePath);
      status = ContinueKeptDocument(
          RepairDocument(files_, state_.transFilePath));
    } else {
      files_.CreateTextFile(state_.transFilePath,
                            std::string(kDocumentStartLine) + kLineEnd);
    }
    // The report stays through the intro page and goes with the user's
    // first load.
    ShowStatus(status_line_.SetStanding(""));
    browser_.Navigate(state_.introUrl);
    ShowStatus(status_line_.TellWithAskedLoad(status));
  } catch (const std::exception& error) {
    view_.ShowMessage("Error :" + Describe(error), MessageIcon::kNone);
    EndProgram(1);
  }
}

}  // namespace scrivlet
