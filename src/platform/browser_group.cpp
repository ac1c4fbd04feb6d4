#include "platform/browser_group.h"

#include <algorithm>
#include <utility>

#include "platform/callback_guard.h"

namespace scrivlet {
namespace {

// Enough for the frames of a page and the resources loading beside them.
constexpr std::size_t kAnswersKept = 64;

}  // namespace

BrowserGroup::BrowserGroup()
    : settings_(GObjectPtr<WebKitSettings>::Adopt(webkit_settings_new())) {
  // Pages may open windows from script, as with the link targets.
  webkit_settings_set_javascript_can_open_windows_automatically(settings_.get(),
                                                                TRUE);
  capture_.on_submission = [this](FormSubmission submission) {
    dispatch_.AddSubmission(std::move(submission));
    dispatch_.Run();
  };
  capture_.on_frame_load = [this](const FrameLoad& load) { OnFrameLoad(load); };
  // Script requests belong to the session, which every view of the group
  // reports to; the main view's events take them. A sent one goes through
  // the queue, behind the navigations before it.
  capture_.on_script_request = [this](ScriptRequest request) {
    if (!script_events_) return;
    BrowserEvent event;
    event.kind = BrowserEvent::Kind::kScriptRequest;
    event.view = script_view_;
    event.id = script_view_;
    event.url = request.url;
    event.script = std::move(request);
    dispatch_.Enqueue(std::move(event));
    dispatch_.Run();
  };
  capture_.on_script_request_seen = [this](const std::string& url) {
    if (script_events_) script_events_->WebBrowser1_ScriptRequestSeen(url);
  };
  capture_.on_script_request_unannounced = [this](const std::string& url) {
    if (script_events_) script_events_->WebBrowser1_ScriptRequestUnannounced(url);
  };
}

BrowserGroup::~BrowserGroup() {
  if (timer_) g_source_remove(timer_);
}

void BrowserGroup::Add(WebKitWebView* view, BrowserEvents& events,
                       DeliveryListener* listener, const LoadTracker& loads) {
  views_.push_back(view);
  if (!script_events_) {
    script_events_ = &events;
    script_view_ = IdOf(view);
  }
  loads_[view] = &loads;
  dispatch_.AddView(IdOf(view), events, listener);
}

void BrowserGroup::Remove(WebKitWebView* view) {
  std::erase(views_, view);
  if (views_.empty()) script_events_ = nullptr;
  loads_.erase(view);
  dispatch_.RemoveView(IdOf(view));
}

void BrowserGroup::EnqueueNavigation(WebKitWebView* view,
                                     WebKitPolicyDecision* decision,
                                     std::string url, bool post,
                                     bool form_submission,
                                     std::string content_type) {
  BrowserEvent event;
  event.kind = BrowserEvent::Kind::kNavigation;
  event.view = IdOf(view);
  event.id = IdOf(view);
  event.url = std::move(url);
  event.post = post;
  event.form_submission = form_submission;
  event.content_type = std::move(content_type);
  event.decided_us = NowUs();
  const std::uint64_t sequence = dispatch_.Enqueue(std::move(event));
  decisions_.emplace(sequence, GObjectPtr<WebKitPolicyDecision>::Ref(decision));
  dispatch_.Run();
}

void BrowserGroup::EnqueueCompletion(WebKitWebView* view,
                                     LoadCompletion completion) {
  EnqueueCompletion(IdOf(view), IdOf(view), std::move(completion));
}

void BrowserGroup::EnqueueCompletion(BrowserId view, BrowserId id,
                                     LoadCompletion completion) {
  BrowserEvent event;
  event.kind = completion.new_page ? BrowserEvent::Kind::kDocumentComplete
                                   : BrowserEvent::Kind::kLoadEndedWithoutPage;
  event.view = view;
  event.id = id;
  event.url = std::move(completion.url);
  event.answer = std::move(completion.answer);
  dispatch_.Enqueue(std::move(event));
  dispatch_.Run();
}

void BrowserGroup::EnqueueWebProcessTerminated(WebKitWebView* view) {
  BrowserEvent event;
  event.kind = BrowserEvent::Kind::kWebProcessTerminated;
  event.view = IdOf(view);
  event.id = IdOf(view);
  dispatch_.Enqueue(std::move(event));
  dispatch_.Run();
}

// A sub-frame's load completes in the view whose page holds the frame. A
// frame of the page that a refresh replaces, or of the reloaded page, does
// not end the refresh.
void BrowserGroup::OnFrameLoad(const FrameLoad& load) {
  if (views_.empty()) return;
  std::vector<std::string> view_urls;
  for (WebKitWebView* view : views_) {
    const char* uri = webkit_web_view_get_uri(view);
    view_urls.emplace_back(uri ? uri : "");
  }
  WebKitWebView* target = views_[ViewShowingFrame(view_urls, load.top_url)];
  LoadCompletion completion;
  completion.new_page = true;
  completion.url = load.url;
  completion.answer.status = TakeAnswer(load.url);
  completion.answer.refresh_goes_on = loads_.at(target)->RefreshGoesOn();
  EnqueueCompletion(IdOf(target), frame_ids_.IdOf(load.frame),
                    std::move(completion));
}

// The resource may outlive the group, so its handler holds the group
// weakly.
void BrowserGroup::WatchAnswer(WebKitWebResource* resource) {
  using Group = std::weak_ptr<BrowserGroup>;
  auto on_response = +[](WebKitWebResource* answered, GParamSpec*,
                         gpointer group) {
    GuardCallback("notify::response", [&] {
      WebKitURIResponse* response = webkit_web_resource_get_response(answered);
      const std::shared_ptr<BrowserGroup> alive =
          static_cast<Group*>(group)->lock();
      if (!alive || !response) return;
      const guint status = webkit_uri_response_get_status_code(response);
      const char* uri = webkit_uri_response_get_uri(response);
      if (status > 0 && uri) alive->NoteAnswer(uri, static_cast<int>(status));
    });
  };
  auto on_failed = +[](WebKitWebResource* failed, GError* error,
                       gpointer group) {
    GuardCallback("failed", [&] {
      const std::shared_ptr<BrowserGroup> alive =
          static_cast<Group*>(group)->lock();
      const char* uri = webkit_web_resource_get_uri(failed);
      if (alive && alive->script_events_ && uri && error) {
        alive->script_events_->WebBrowser1_ResourceFailed(uri, error->message);
      }
    });
  };
  const auto release = [](gpointer group, GClosure*) {
    delete static_cast<Group*>(group);
  };
  g_signal_connect_data(resource, "notify::response", G_CALLBACK(on_response),
                        new Group(weak_from_this()), release,
                        static_cast<GConnectFlags>(0));
  g_signal_connect_data(resource, "failed", G_CALLBACK(on_failed),
                        new Group(weak_from_this()), release,
                        static_cast<GConnectFlags>(0));
}

void BrowserGroup::NoteAnswer(std::string url, int status) {
  if (script_events_) script_events_->WebBrowser1_ResourceAnswered(url, status);
  answers_.emplace_back(std::move(url), status);
  if (answers_.size() > kAnswersKept) answers_.pop_front();
}

std::optional<int> BrowserGroup::TakeAnswer(const std::string& url) {
  for (auto it = answers_.rbegin(); it != answers_.rend(); ++it) {
    if (it->first != url) continue;
    const int status = it->second;
    answers_.erase(std::next(it).base());
    return status;
  }
  return std::nullopt;
}

GObjectPtr<WebKitPolicyDecision> BrowserGroup::TakeDecision(
    std::uint64_t sequence) {
  GObjectPtr<WebKitPolicyDecision> decision;
  if (auto it = decisions_.find(sequence); it != decisions_.end()) {
    decision = std::move(it->second);
    decisions_.erase(it);
  }
  return decision;
}

std::int64_t BrowserGroup::NowUs() { return g_get_monotonic_time(); }

void BrowserGroup::WakeAt(std::int64_t deadline_us) {
  if (timer_) g_source_remove(timer_);
  const std::int64_t wait_ms =
      std::max<std::int64_t>(1, (deadline_us - NowUs()) / 1000 + 1);
  timer_ =
      g_timeout_add(static_cast<guint>(wait_ms), &BrowserGroup::OnTimer, this);
}

gboolean BrowserGroup::OnTimer(gpointer self) {
  auto* group = static_cast<BrowserGroup*>(self);
  group->timer_ = 0;
  GuardCallback("browser event timer", [&] { group->dispatch_.Run(); });
  return G_SOURCE_REMOVE;
}

// The view may be gone by now (its window closed in a nested loop); only
// the decision, which the group holds, is touched.
void BrowserGroup::UseDecision(std::uint64_t sequence) {
  if (auto decision = TakeDecision(sequence)) {
    webkit_policy_decision_use(decision.get());
  }
}

void BrowserGroup::IgnoreDecision(std::uint64_t sequence) {
  if (auto decision = TakeDecision(sequence)) {
    webkit_policy_decision_ignore(decision.get());
  }
}

void BrowserGroup::Warn(const std::string& what) {
  g_warning("%s", what.c_str());
}

}  // namespace scrivlet
