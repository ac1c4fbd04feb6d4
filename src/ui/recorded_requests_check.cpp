// The replay check of the "Recorded Requests" window: the question asked
// before it, the replay itself and the texts it leaves in the rows.

#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "replay/replay_engine.h"
#include "replay/replayed_request.h"
#include "replay/request_rows.h"
#include "ui/message_box.h"
#include "ui/recorded_requests_window.h"

namespace scrivlet {

void RecordedRequestsWindow::CheckFinished(const std::string& text) {
  ShowText(progress_, text);
  check_button_.set_label("Check Replay");
  // The engine may still be there: it is let go after this, in its callback.
  ShowDeleteButton(false);
}

// The check reads the document as it will be uploaded and replays it with
// the browser's proxy and the certificates the user accepted; it changes
// nothing and its failure is only shown.
void RecordedRequestsWindow::StartOrCancelCheck() {
  if (check_) {
    check_->Cancel();
    return;
  }
  std::vector<DocumentElement> elements;
  try {
    elements = session_.ReadDocumentForCheck().elements;
  } catch (const std::exception& error) {  // unreadable, or not a document
    ShowText(progress_, std::string("The replay check could not read "
                                    "trans.xml: ") +
                            error.what() + ". Nothing was sent.");
    return;
  }
  if (elements.empty()) {
    ShowText(progress_, "trans.xml holds no request to replay.");
    return;
  }
  // The recorded password goes where it was recorded, unless the user
  // leaves it out for the hosts that never asked for it.
  const SessionState& state = session_.state();
  const std::vector<std::string> never_asked =
      replay::HostsNeverAsked(elements, state.credentialsAskedBy);
  const std::string question =
      replay::CheckQuestion(replay::ScopeOf(elements), never_asked);
  bool leave_out = false;
  if (never_asked.empty()) {
    if (!AskToContinue(this, question, "Check Replay")) return;
  } else {
    const std::size_t choice = AskToChoose(
        this, question, {"Check Replay", replay::kWithoutPasswordCaption});
    if (choice > 1) return;
    leave_out = choice == 1;
  }
  const std::size_t total = elements.size();
  try {
    replay::ReplayOptions options = replay::CheckOptions(
        state.browserProxy, state.browserProxyBypass, state.acceptedCertificates);
    if (leave_out) {
      options.authorization_left_out.insert(never_asked.begin(),
                                            never_asked.end());
    }
    check_ = std::make_unique<replay::ReplayEngine>(std::move(elements),
                                                    std::move(options));
  } catch (const std::exception& error) {
    ShowText(progress_, std::string("The replay check could not start: ") +
                            error.what() + ". Nothing was sent.");
    return;
  }
  for (guint i = 0; i < rows_->get_n_items(); ++i) rows_->get_item(i)->replay = "";
  RowsChanged(rows_, 0, rows_->get_n_items());
  check_button_.set_label("Cancel Check");
  ShowDeleteButton(check_ != nullptr);
  auto differs = std::make_shared<std::size_t>(0);
  auto sent = std::make_shared<std::size_t>(0);
  check_->Start(replay::ReplayCallbacks{
      [this, total](std::size_t index) {
        ShowText(progress_, "Replaying request " + std::to_string(index + 1) +
                                " of " + std::to_string(total) +
                                "… (Ctrl+Shift+R cancels)");
      },
      [this, differs, sent](const replay::StepResult& step) {
        if (step.sent) ++*sent;
        if (step.index >= rows_->get_n_items()) return;
        const auto at = static_cast<guint>(step.index);
        Glib::RefPtr<RequestRow> row = rows_->get_item(at);
        row->replay = replay::ReplayText(step, row->element, row->answer);
        if (replay::ReplayDiffers(step, row->element, row->answer)) ++*differs;
        RowsChanged(rows_, at, at + 1);
      },
      [this, differs, sent](replay::ReplayEnd end, const std::string& failure) {
        const std::string text =
            end == replay::ReplayEnd::kCancelled
                ? "The replay check was cancelled."
            : end == replay::ReplayEnd::kFailed
                ? "The replay check stopped: " + failure + "."
                : "Replay check done: " + std::to_string(*sent) +
                      " requests sent, " + std::to_string(*differs) +
                      " differ, fail or send session-bound values.";
        CheckFinished(text);
        // Last: the engine holds this callback.
        check_.reset();
      }});
}

}  // namespace scrivlet
