#include "platform/form_capture.h"

#include <exception>
#include <string>
#include <utility>

namespace scrivlet {
namespace {

constexpr char kWorldName[] = "scrivlet-capture";
constexpr char kChannel[] = "scrivletCapture";

// A submission belongs to a navigation the engine asks about at most this
// long after it; an older one (a `new FormData(form)` that led nowhere) is
// never matched.
constexpr std::int64_t kSubmissionLeadUs = 2'000'000;
// Submissions are forgotten after this long, matched or not.
constexpr std::int64_t kSubmissionKeptUs = 60'000'000;

// Runs in every frame, in the isolated world. It reports the entry list of
// each `formdata` event (also fired by form.submit(), which skips the submit
// event), read by a listener that is appended to the window's bubbling
// listeners during the event's capture phase, so that it runs after the
// page's own listeners and sees their changes. File contents can only be
// read asynchronously, so the script reads each file when it is chosen (the
// input and change events of a file input, trusted or not: the bytes are the
// File's own and are used only for that same File object in a trusted
// formdata event); a submission whose files are all read already goes in
// one message. Files not read yet (chosen without an event, still being
// read, or replaced by a page listener) are read then and follow in a
// second message, for which the navigation's decision waits.
constexpr char kCaptureScript[] = R"JS((function () {
  'use strict';
  const handlers = window.webkit && window.webkit.messageHandlers;
  const channel = handlers && handlers.scrivletCapture;
  if (!channel) return;
  const frame = Math.random().toString(36).slice(2) + '.' + Date.now().toString(36);
  const post = (message) => {
    message.frame = frame;
    try { channel.postMessage(message); } catch (e) {}
  };
  const text = (value) => {
    const s = String(value);
    return typeof s.toWellFormed === 'function' ? s.toWellFormed() : s;
  };
  const base64 = (buffer) => {
    const bytes = new Uint8Array(buffer);
    let binary = '';
    for (let i = 0; i < bytes.length; i += 0x8000) {
      binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
    }
    return btoa(binary);
  };
  const encodingOf = (form) => {
    const labels = (form.getAttribute('accept-charset') || '').split(/[\s,]+/);
    for (const label of labels) {
      if (!label) continue;
      try { return new TextDecoder(label).encoding; } catch (e) {}
    }
    return document.characterSet;
  };

  // A submit event is followed, in the same task, by the formdata event of
  // the submission it starts; its submitter may override action and method.
  // Only events the engine raised count: a page can construct and dispatch
  // submit and formdata events of its own, with any entries it likes, and
  // their isTrusted is false.
  let lastSubmit = null;
  window.addEventListener('submit', (event) => {
    if (!event.isTrusted) return;
    lastSubmit = { form: event.target, submitter: event.submitter || null };
    setTimeout(() => { lastSubmit = null; }, 0);
  }, true);

  // File -> its contents in base64 once read, null while being read. A Map,
  // not a WeakMap: this world's wrapper of a File dies with the last
  // reference of this world, and the formdata event would then bring a new
  // wrapper that a WeakMap no longer knows. The entries of an input go when
  // its choice changes.
  const chosen = new Map();
  const chosenBy = new WeakMap();  // input -> the files of its last choice
  const readChosen = (event) => {
    const path = typeof event.composedPath === 'function' ? event.composedPath() : [];
    const input = path.length ? path[0] : event.target;
    if (!(input instanceof HTMLInputElement) || input.type !== 'file') return;
    const files = Array.from(input.files || []);
    for (const old of chosenBy.get(input) || []) {
      if (!files.includes(old)) chosen.delete(old);
    }
    chosenBy.set(input, files);
    for (const file of files) {
      if (file.size === 0 || chosen.has(file)) continue;
      chosen.set(file, null);
      file.arrayBuffer().then((buffer) => {
        if (chosen.has(file)) chosen.set(file, base64(buffer));
      }, () => { chosen.delete(file); });
    }
  };
  window.addEventListener('input', readChosen, true);
  window.addEventListener('change', readChosen, true);

  let sequence = 0;
  const report = (formData, info) => {
    const entries = [];
    const files = [];
    for (const [name, value] of formData.entries()) {
      if (typeof value === 'string') {
        entries.push({ name: text(name), value: text(value) });
      } else {
        const entry = { name: text(name), file: true, filename: text(value.name),
                        type: text(value.type), data: '' };
        entries.push(entry);
        if (value.size === 0) continue;
        const known = chosen.get(value);
        if (typeof known === 'string') {
          entry.data = known;
        } else {
          files.push([entry, value]);
        }
      }
    }
    post(Object.assign({ kind: 'form', entries: entries, complete: files.length === 0 }, info));
    if (files.length === 0) return;
    Promise.all(files.map(([entry, file]) => file.arrayBuffer().then(
        (buffer) => { entry.data = base64(buffer); }, () => {})))
      .then(() => post(Object.assign({ kind: 'form', entries: entries, complete: true }, info)));
  };

  window.addEventListener('formdata', (event) => {
    if (!event.isTrusted) return;
    const form = event.target;
    if (!(form instanceof HTMLFormElement)) return;
    const submitter = lastSubmit && lastSubmit.form === form ? lastSubmit.submitter : null;
    lastSubmit = null;
    const overrides = (name) => submitter && submitter.hasAttribute(name);
    const info = {
      id: ++sequence,
      action: text(overrides('formaction') ? submitter.formAction : form.action),
      method: text(overrides('formmethod') ? submitter.formMethod : form.method).toLowerCase(),
      charset: encodingOf(form),
    };
    let done = false;
    const finish = (later) => {
      if (later && later !== event) return;
      if (done) return;
      done = true;
      window.removeEventListener('formdata', finish, false);
      report(event.formData, info);
    };
    window.addEventListener('formdata', finish, false);
    // A page listener that stops the propagation keeps the bubbling
    // listener from running; report at the end of the task instead.
    setTimeout(() => finish(null), 0);
  }, true);

  if (window !== window.top) {
    window.addEventListener('load', () => {
      let top = '';
      try { top = String(window.top.location.href); } catch (e) {}
      post({ kind: 'frameload', url: String(location.href), top: top });
    });
  }
})();
)JS";

// Owns a JSCValue reference.
class JsValue {
 public:
  explicit JsValue(JSCValue* value) : value_(value) {}
  ~JsValue() {
    if (value_) g_object_unref(value_);
  }
  JsValue(const JsValue&) = delete;
  JsValue& operator=(const JsValue&) = delete;
  JSCValue* get() const { return value_; }

 private:
  JSCValue* value_;
};

std::string StringOf(JSCValue* value) {
  if (!value || !jsc_value_is_string(value)) return "";
  char* text = jsc_value_to_string(value);
  std::string result = text ? text : "";
  g_free(text);
  return result;
}

std::string StringProperty(JSCValue* object, const char* name) {
  JsValue value(jsc_value_object_get_property(object, name));
  return StringOf(value.get());
}

bool BoolProperty(JSCValue* object, const char* name) {
  JsValue value(jsc_value_object_get_property(object, name));
  return value.get() && jsc_value_to_boolean(value.get());
}

double NumberProperty(JSCValue* object, const char* name) {
  JsValue value(jsc_value_object_get_property(object, name));
  return value.get() && jsc_value_is_number(value.get())
             ? jsc_value_to_double(value.get())
             : 0.0;
}

std::string Base64Decode(const std::string& text) {
  if (text.empty()) return "";
  gsize length = 0;
  guchar* bytes = g_base64_decode(text.c_str(), &length);
  std::string result(reinterpret_cast<const char*>(bytes), length);
  g_free(bytes);
  return result;
}

std::string WithoutFragment(const std::string& url) {
  return url.substr(0, url.find('#'));
}

}  // namespace

const char* FormCapture::WorldName() { return kWorldName; }

FormCapture::FormCapture() : manager_(webkit_user_content_manager_new()) {
  g_signal_connect(manager_, "script-message-received::scrivletCapture",
                   G_CALLBACK(&FormCapture::OnScriptMessage), this);
  webkit_user_content_manager_register_script_message_handler(
      manager_, kChannel, kWorldName);
  WebKitUserScript* script = webkit_user_script_new_for_world(
      kCaptureScript, WEBKIT_USER_CONTENT_INJECT_ALL_FRAMES,
      WEBKIT_USER_SCRIPT_INJECT_AT_DOCUMENT_START, kWorldName, nullptr,
      nullptr);
  webkit_user_content_manager_add_script(manager_, script);
  webkit_user_script_unref(script);
}

FormCapture::~FormCapture() {
  g_signal_handlers_disconnect_by_data(manager_, this);
  g_object_unref(manager_);
}

void FormCapture::OnScriptMessage(WebKitUserContentManager*, JSCValue* message,
                                  gpointer self) {
  try {
    static_cast<FormCapture*>(self)->HandleMessage(message);
  } catch (const std::exception& error) {
    g_warning("form capture: %s", error.what());
  } catch (...) {
  }
}

void FormCapture::HandleMessage(JSCValue* message) {
  if (!jsc_value_is_object(message)) return;
  const std::string kind = StringProperty(message, "kind");
  if (kind == "frameload") {
    FrameLoad load{StringProperty(message, "frame"),
                   StringProperty(message, "url"),
                   StringProperty(message, "top")};
    if (on_frame_load) on_frame_load(load);
    return;
  }
  if (kind != "form") return;
  FormSubmission submission;
  submission.id = static_cast<std::uint64_t>(NumberProperty(message, "id"));
  submission.frame = StringProperty(message, "frame");
  submission.action = StringProperty(message, "action");
  submission.method = StringProperty(message, "method");
  submission.charset = StringProperty(message, "charset");
  submission.complete = BoolProperty(message, "complete");
  submission.received_us = g_get_monotonic_time();
  JsValue entries(jsc_value_object_get_property(message, "entries"));
  if (entries.get() && jsc_value_is_array(entries.get())) {
    const int count = static_cast<int>(NumberProperty(entries.get(), "length"));
    for (int i = 0; i < count; ++i) {
      JsValue item(jsc_value_object_get_property_at_index(
          entries.get(), static_cast<guint>(i)));
      if (!item.get() || !jsc_value_is_object(item.get())) continue;
      FormEntry entry;
      entry.name = StringProperty(item.get(), "name");
      entry.is_file = BoolProperty(item.get(), "file");
      if (entry.is_file) {
        entry.filename = StringProperty(item.get(), "filename");
        entry.content_type = StringProperty(item.get(), "type");
        entry.value = Base64Decode(StringProperty(item.get(), "data"));
      } else {
        entry.value = StringProperty(item.get(), "value");
      }
      submission.entries.push_back(std::move(entry));
    }
  }
  DropStale();
  // The second message of a form with files completes the first one.
  bool replaced = false;
  for (FormSubmission& known : submissions_) {
    if (known.frame == submission.frame && known.id == submission.id) {
      submission.received_us = known.received_us;
      known = std::move(submission);
      replaced = true;
      break;
    }
  }
  if (!replaced) submissions_.push_back(std::move(submission));
  if (on_submission) on_submission();
}

void FormCapture::DropStale() {
  const std::int64_t now = g_get_monotonic_time();
  while (!submissions_.empty() &&
         now - submissions_.front().received_us > kSubmissionKeptUs) {
    submissions_.pop_front();
  }
}

FormCapture::Lookup FormCapture::Find(const std::string& url,
                                      std::int64_t decided_us,
                                      FormSubmission& found) {
  DropStale();
  const std::string target = WithoutFragment(url);
  for (auto it = submissions_.rbegin(); it != submissions_.rend(); ++it) {
    if (it->received_us < decided_us - kSubmissionLeadUs) break;
    if (it->method == "post" && WithoutFragment(it->action) == target) {
      found = *it;
      return it->complete ? Lookup::kComplete : Lookup::kIncomplete;
    }
  }
  return Lookup::kNone;
}

void FormCapture::Consume(const FormSubmission& submission) {
  const std::string target = WithoutFragment(submission.action);
  auto it = submissions_.begin();
  while (it != submissions_.end()) {
    if (it->received_us <= submission.received_us &&
        WithoutFragment(it->action) == target) {
      it = submissions_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace scrivlet
