#include "session/navigation_answers.h"

#include <algorithm>

namespace scrivlet {

void NavigationAnswers::Restart(std::size_t count) {
  answers_.assign(count, std::nullopt);
  waiting_.clear();
  untaken_.clear();
}

void NavigationAnswers::NavigationAppended(BrowserId view,
                                           const std::string& url) {
  waiting_.push_back(Waiting{answers_.size(), view, url});
  answers_.emplace_back();
}

namespace {

// Script requests wait under an identity no view or frame has.
constexpr BrowserId kScriptRequests = 0;

// Every resource's answer passes by, images and style sheets too; a script
// request's element follows its answer within moments.
constexpr std::size_t kUntakenKept = 256;

template <typename Untaken>
auto FindUntaken(Untaken& untaken, const std::string& url) {
  return std::find_if(untaken.begin(), untaken.end(),
                      [&](const auto& entry) { return entry.first == url; });
}

}  // namespace

bool NavigationAnswers::ScriptRequestAppended(const std::string& url) {
  const auto untaken = FindUntaken(untaken_, url);
  if (untaken != untaken_.end()) {
    answers_.emplace_back(std::move(untaken->second));
    untaken_.erase(untaken);
    return true;
  }
  waiting_.push_back(Waiting{answers_.size(), kScriptRequests, url});
  answers_.emplace_back();
  return false;
}

void NavigationAnswers::ScriptRequestNotRecorded(const std::string& url) {
  const auto untaken = FindUntaken(untaken_, url);
  if (untaken != untaken_.end()) untaken_.erase(untaken);
}

std::optional<std::size_t> NavigationAnswers::ResourceAnswered(
    const std::string& url, const RecordedAnswer& answer) {
  const auto found =
      std::find_if(waiting_.begin(), waiting_.end(), [&](const Waiting& w) {
        return w.view == kScriptRequests && w.url == url;
      });
  if (found == waiting_.end()) {
    untaken_.emplace_back(url, answer);
    if (untaken_.size() > kUntakenKept) untaken_.pop_front();
    return std::nullopt;
  }
  const std::size_t index = found->index;
  waiting_.erase(found);
  answers_[index] = answer;
  return index;
}

void NavigationAnswers::CompletionAppended(const RecordedAnswer& answer) {
  answers_.emplace_back(answer);
}

std::optional<std::size_t> NavigationAnswers::PageCompleted(
    BrowserId id, const std::string& url, const RecordedAnswer& answer) {
  const auto of_view = [&](const Waiting& w) { return w.view == id; };
  if (std::none_of(waiting_.begin(), waiting_.end(), of_view)) {
    // A sub-frame: its navigation is over, perhaps with no answer known.
    const auto frame = std::find_if(
        waiting_.begin(), waiting_.end(),
        [&](const Waiting& w) {
          return w.view != kScriptRequests && w.url == url;
        });
    if (frame == waiting_.end()) return std::nullopt;
    const std::size_t index = frame->index;
    waiting_.erase(frame);
    if (!answer.status && answer.error.empty()) return std::nullopt;
    answers_[index] = answer;
    return index;
  }
  auto answered = std::find_if(
      waiting_.rbegin(), waiting_.rend(),
      [&](const Waiting& w) { return of_view(w) && w.url == url; });
  const std::size_t index =
      answered != waiting_.rend()
          ? answered->index
          : std::find_if(waiting_.begin(), waiting_.end(), of_view)->index;
  std::erase_if(waiting_, of_view);
  answers_[index] = answer;
  return index;
}

void NavigationAnswers::LoadEndedWithoutPage(BrowserId view) {
  const auto first = std::find_if(
      waiting_.begin(), waiting_.end(),
      [&](const Waiting& w) { return w.view == view; });
  if (first != waiting_.end()) waiting_.erase(first);
}

std::vector<std::size_t> NavigationAnswers::ViewLost(BrowserId view) {
  std::vector<std::size_t> lost;
  for (const Waiting& waiting : waiting_) {
    if (waiting.view != view) continue;
    answers_[waiting.index] = RecordedAnswer{std::nullopt, "", kPageStoppedWorking};
    lost.push_back(waiting.index);
  }
  std::erase_if(waiting_, [&](const Waiting& w) { return w.view == view; });
  return lost;
}

void NavigationAnswers::ElementDeleted(std::size_t index) {
  if (index >= answers_.size()) return;
  answers_.erase(answers_.begin() + static_cast<std::ptrdiff_t>(index));
  std::erase_if(waiting_,
                [index](const Waiting& waiting) { return waiting.index == index; });
  for (Waiting& waiting : waiting_) {
    if (waiting.index > index) --waiting.index;
  }
}

}  // namespace scrivlet
