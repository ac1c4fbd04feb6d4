#include <algorithm>
#include <optional>
#include <string>
#include <utility>

#include "document/address.h"
#include "document/document_writer.h"
#include "session/capture_rules.h"
#include "session/recording_session.h"

namespace scrivlet {

void RecordingSession::SetRecordScriptRequests(bool on, bool tell_now) {
  record_scripts_ = on;
  if (on && tell_now && !script_recording_told_ && !ended_) {
    script_recording_told_ = true;
    ShowStatus(status_line_.Tell(kScriptRecordingOnText));
  }
}

void RecordingSession::NoteTransactionHost(const std::string& url) {
  if (std::optional<UrlParts> parts = SplitUrl(url)) {
    transaction_hosts_.insert(std::move(parts->host));
  }
}

void RecordingSession::AllowScriptHost(const std::string& host) {
  allowed_script_hosts_.insert(host);
  if (element_observer_) element_observer_->ScriptHostsChanged();
}

void RecordingSession::WebBrowser1_ScriptRequest(const ScriptRequest& request) {
  if (ended_) return;
  if (!RecordScriptRequest(request)) {
    answers_.ScriptRequestNotRecorded(AddressAsSent(request.url));
  }
}

void RecordingSession::ScriptRequestWritten(const std::string& sent) {
  if (answers_.ScriptRequestAppended(sent)) TellAnswer(answers_.count() - 1);
  recorded_script_urls_.insert(sent);
}

// Written like a navigation, with the headers the script set as its extra
// header text and the bytes it sent as the body; the navigation state
// (startUrl, pendingUrl) is a page's and stays as it is.
bool RecordingSession::RecordScriptRequest(const ScriptRequest& request) {
  if (!record_scripts_ || state_.documentClosed) return false;
  if (SkipsScriptRequest(state_, request.url)) return false;
  std::optional<UrlParts> parts = SplitUrl(request.url);
  if (!parts || request.method.empty()) return false;
  if (!request.redirected_from.empty()) {
    // A redirect's target, as for a page: a completion-form element, after
    // the recorded request it follows, whatever its host.
    if (!recorded_script_urls_.contains(request.redirected_from)) return false;
    RequestFields fields =
        DecideRequestFields(state_, std::move(*parts), request.url);
    fields.method = "GET";
    if (!AppendCapturedElement(BuildCompletionElement(fields),
                               ElementKind::kCompletion, fields.method,
                               request.url, 0, /*script=*/true)) {
      return false;
    }
    ScriptRequestWritten(AddressAsSent(request.url));
    return true;
  }
  if (!transaction_hosts_.contains(parts->host) &&
      !allowed_script_hosts_.contains(parts->host)) {
    ++other_script_hosts_[parts->host];
    if (element_observer_) element_observer_->ScriptHostsChanged();
    return false;
  }
  RequestFields fields =
      DecideRequestFields(state_, std::move(*parts), request.url);
  fields.method = request.method;
  std::string headers;
  for (const auto& [name, value] : request.headers) {
    headers += name + ": " + value + "\r\n";
  }
  std::string element = BuildNavigationElement(fields, headers, request.body);
  if (!AppendCapturedElement(std::move(element), ElementKind::kNavigation,
                             fields.method, request.url,
                             request.body ? request.body->size() : 0,
                             /*script=*/true)) {
    return false;
  }
  ScriptRequestWritten(AddressAsSent(request.url));
  return true;
}

// Said only while the page's requests could be recorded, and never over
// another message about the page: the count is the least of them.
void RecordingSession::WebBrowser1_ScriptRequestSeen(const std::string& URL) {
  if (ended_) return;
  answers_.ScriptRequestNotRecorded(AddressAsSent(URL));
  if (record_scripts_ || SkipsScriptRequest(state_, URL)) return;
  if (state_.documentClosed || state_.recordingPaused) return;
  const std::string told = UnrecordedScriptRequestsText();
  ++unrecorded_script_requests_;
  ++script_requests_not_recorded_;
  if (element_observer_) element_observer_->ScriptHostsChanged();
  if (status_line_.message().empty() || status_line_.message() == told) {
    ShowStatus(status_line_.Tell(UnrecordedScriptRequestsText()));
  }
}

// Never written with a guessed body; the window says why it is missing.
void RecordingSession::WebBrowser1_ScriptRequestUnannounced(
    const std::string& URL) {
  if (ended_) return;
  answers_.ScriptRequestNotRecorded(AddressAsSent(URL));
  if (!record_scripts_ || SkipsScriptRequest(state_, URL)) return;
  if (state_.documentClosed || state_.recordingPaused) return;
  const auto told = std::find_if(
      unannounced_script_requests_.begin(), unannounced_script_requests_.end(),
      [&](const auto& entry) { return entry.first == URL; });
  if (told != unannounced_script_requests_.end()) {
    ++told->second;
  } else {
    unannounced_script_requests_.emplace_back(URL, 1);
  }
  if (element_observer_) element_observer_->ScriptHostsChanged();
}

void RecordingSession::WebBrowser1_ResourceAnswered(const std::string& URL,
                                                    int status) {
  if (ended_) return;
  const std::string sent = AddressAsSent(URL);
  if (const std::optional<std::size_t> index =
          answers_.ResourceAnswered(sent, RecordedAnswer{status, sent, ""})) {
    TellAnswer(*index);
  }
}

void RecordingSession::WebBrowser1_ResourceFailed(const std::string& URL,
                                                  const std::string& reason) {
  if (ended_) return;
  if (const std::optional<std::size_t> index = answers_.ResourceAnswered(
          AddressAsSent(URL), RecordedAnswer{std::nullopt, "", reason})) {
    TellAnswer(*index);
  }
}

std::string RecordingSession::UnrecordedScriptRequestsText() const {
  const std::size_t count = unrecorded_script_requests_;
  if (count == 0) return "";
  if (count == 1) {
    return "1 request made by this page's scripts was not recorded: F9 to "
           "record them";
  }
  return std::to_string(count) +
         " requests made by this page's scripts were not recorded: F9 to "
         "record them";
}

}  // namespace scrivlet
