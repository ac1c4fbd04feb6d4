#include "platform/main_resource_watch.h"

#include "platform/callback_guard.h"

namespace scrivlet {

// The resources may outlive the watch.
MainResourceWatch::~MainResourceWatch() {
  if (followed_) g_signal_handlers_disconnect_by_data(followed_.get(), this);
}

void MainResourceWatch::Follow(WebKitWebResource* resource) {
  if (followed_) g_signal_handlers_disconnect_by_data(followed_.get(), this);
  followed_ = GObjectPtr<WebKitWebResource>::Ref(resource);
  g_signal_connect(resource, "sent-request", G_CALLBACK(&OnSentRequest), this);
  g_signal_connect(resource, "finished", G_CALLBACK(&OnEnded), this);
  g_signal_connect(resource, "failed",
                   G_CALLBACK(+[](WebKitWebResource*, GError*, gpointer self) {
                     static_cast<MainResourceWatch*>(self)->arriving_ = false;
                   }),
                   this);
  arriving_ = true;
}

void MainResourceWatch::OnEnded(WebKitWebResource*, gpointer self) {
  static_cast<MainResourceWatch*>(self)->arriving_ = false;
}

void MainResourceWatch::Committed(WebKitWebResource* resource) {
  committed_ = resource ? GObjectPtr<WebKitWebResource>::Ref(resource)
                        : GObjectPtr<WebKitWebResource>();
}

MainResponse MainResourceWatch::CommittedResponse() const {
  MainResponse answer;
  if (!committed_) return answer;
  WebKitURIResponse* response = webkit_web_resource_get_response(committed_.get());
  if (!response) return answer;
  if (const char* uri = webkit_uri_response_get_uri(response)) answer.url = uri;
  if (const guint status = webkit_uri_response_get_status_code(response)) {
    answer.status = static_cast<int>(status);
  }
  return answer;
}

// Sent again for each redirect, with the answer that caused it.
void MainResourceWatch::OnSentRequest(WebKitWebResource*,
                                      WebKitURIRequest* request,
                                      WebKitURIResponse* redirected_response,
                                      gpointer self) {
  GuardCallback("sent-request", [&] {
    if (!redirected_response) return;
    const guint status =
        webkit_uri_response_get_status_code(redirected_response);
    const char* target = webkit_uri_request_get_uri(request);
    if (status == 0 || !target) return;
    static_cast<MainResourceWatch*>(self)->redirected_(
        static_cast<int>(status), target);
  });
}

}  // namespace scrivlet
