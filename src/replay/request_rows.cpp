#include "replay/request_rows.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "replay/certificate_acceptance.h"
#include "replay/replay_report.h"
#include "replay/session_bound.h"
#include "replay/verdict.h"
#include "session/recording_session.h"

namespace scrivlet::replay {
namespace {

// The JSON text laid out one member per line, two spaces an indent; the
// bytes of strings as they are. A text that is not JSON comes out changed
// only in its spacing.
std::string PrettyJson(const std::string& json) {
  std::string out;
  int depth = 0;
  bool in_string = false;
  bool escaped = false;
  const auto new_line = [&] {
    out += '\n';
    out.append(static_cast<std::size_t>(std::max(depth, 0)) * 2, ' ');
  };
  for (std::size_t i = 0; i < json.size(); ++i) {
    const char c = json[i];
    if (in_string) {
      out += c;
      if (escaped) {
        escaped = false;
      } else if (c == '\\') {
        escaped = true;
      } else if (c == '"') {
        in_string = false;
      }
      continue;
    }
    switch (c) {
      case '"': in_string = true; out += c; break;
      case '{': case '[': {
        const std::size_t next = json.find_first_not_of(" \t\r\n", i + 1);
        if (next != std::string::npos && (json[next] == '}' || json[next] == ']')) {
          out += c;
          out += json[next];
          i = next;
          break;
        }
        out += c;
        ++depth;
        new_line();
        break;
      }
      case '}': case ']': --depth; new_line(); out += c; break;
      case ',': out += c; new_line(); break;
      case ':': out += ": "; break;
      case ' ': case '\t': case '\r': case '\n': break;
      default: out += c;
    }
  }
  return out + "\n";
}

// The value of the element's Content-Type header line, "" without one.
std::string ContentTypeOf(const DocumentElement& element) {
  for (const std::string& text : element.header_lines) {
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find("\r\n", start);
      if (end == std::string::npos) end = text.size();
      const std::string line = text.substr(start, end - start);
      constexpr std::string_view kName = "content-type:";
      if (line.size() > kName.size() &&
          std::equal(kName.begin(), kName.end(), line.begin(),
                     [](char a, char b) {
                       return a == std::tolower(static_cast<unsigned char>(b));
                     })) {
        const std::size_t value = line.find_first_not_of(' ', kName.size());
        return value == std::string::npos ? "" : line.substr(value);
      }
      start = end + 2;
    }
  }
  return "";
}

constexpr int kHttpPort = 80;
constexpr int kHttpsPort = 443;

// The answer as the comparison with a replayed one needs it: a page that
// ended elsewhere was redirected there.
AnswerSummary RecordedSummary(const RecordedElement& element,
                              const RecordedAnswer& answer) {
  AnswerSummary summary{answer.status, ""};
  if (!answer.final_url.empty() && answer.final_url != element.url) {
    summary.redirect_target = answer.final_url;
  }
  return summary;
}

std::string Joined(const std::vector<std::string>& parts,
                   const std::string& separator) {
  std::string out;
  for (const std::string& part : parts) {
    if (!out.empty()) out += separator;
    out += part;
  }
  return out;
}

// A status, or "no answer", with the reason of a failure when one is
// known.
std::string AnswerText(const std::optional<int>& status,
                       const std::string& error) {
  return (status ? std::to_string(*status) : "no answer") +
         (error.empty() ? "" : " (" + error + ")");
}

// How the step's answer compares with the one recorded; nullopt while
// none was recorded.
std::optional<Agreement> AgreementOf(const StepResult& step,
                                     const RecordedElement& element,
                                     const std::optional<RecordedAnswer>& answer) {
  if (!answer) return std::nullopt;
  return CompareWithRecording(RecordedSummary(element, *answer),
                              AnswerSummary{step.status, step.redirect_target});
}

}  // namespace

std::string CountText(std::size_t shown, std::size_t total,
                      const std::string& filter) {
  const std::string requests = total == 1 ? " request" : " requests";
  if (!filter.empty()) {
    return std::to_string(shown) + " of " + std::to_string(total) + requests +
           " shown.";
  }
  if (total == 0) return "No requests recorded yet in this transaction.";
  return std::to_string(total) + requests +
         " recorded in trans.xml in this transaction.";
}

std::string NoMatchText(const std::string& filter) {
  return "No request matches \"" + filter + "\".";
}

// Closed beats the rest: it lasts until a new transaction, and a person
// who selects a row then learns nothing new.
DeleteButtonState DeleteButton(bool row_selected, bool check_running,
                               bool transaction_closed) {
  if (transaction_closed) return {false, kClosedForUploadText};
  if (check_running) {
    return {false,
            "Requests can be deleted once the replay check is done or "
            "cancelled (Ctrl+Shift+R)."};
  }
  if (!row_selected) return {false, "Select a request to delete it."};
  return {true, "Removes the selected request from trans.xml (Delete)."};
}

bool AnswerFailed(const std::optional<RecordedAnswer>& answer) {
  return answer && StepVerdict(answer->status, answer->error) == Verdict::kFails;
}

std::string StatusText(const std::optional<RecordedAnswer>& answer) {
  if (!answer) return "";
  // No answer can come any more, and the reason says why.
  if (!answer->status && answer->error == kPageStoppedWorking) {
    return "failed: " + answer->error;
  }
  const std::string text = AnswerText(answer->status, answer->error);
  return AnswerFailed(answer) ? "failed: " + text : text;
}

std::string NotesText(const RecordedElement& element,
                      const std::optional<RecordedAnswer>& answer) {
  if (element.kind == ElementKind::kCompletion) {
    return "the redirect's target";
  }
  if (element.script) return "script";
  if (answer && !answer->final_url.empty() &&
      answer->final_url != element.url) {
    return "redirected to " + answer->final_url;
  }
  return "";
}

bool ReplayDiffers(const StepResult& step, const RecordedElement& element,
                   const std::optional<RecordedAnswer>& answer) {
  return !step.session_bound.empty() || !step.error.empty() ||
         AgreementOf(step, element, answer) == Agreement::kDiffers;
}

std::string ReplayText(const StepResult& step, const RecordedElement& element,
                       const std::optional<RecordedAnswer>& answer) {
  std::string text = AnswerText(step.status, step.error);
  if (const auto agreement = AgreementOf(step, element, answer)) {
    text += std::string(" ") + AgreementName(*agreement);
  }
  for (const SessionBoundValue& value : step.session_bound) {
    text += "; " + SessionBoundText(value);
  }
  for (const std::string& note : step.notes) text += "; " + note;
  return text;
}

std::string FormText(const DocumentElement& element) {
  const std::string type = ContentTypeOf(element);
  if (element.body && type.find("json") != std::string::npos) {
    return PrettyJson(*element.body);
  }
  std::string text;
  for (const FormField& field : BodyFields(RequestFor(element))) {
    if (field.file_name) {
      text += field.name + ": file \"" + *field.file_name + "\", " +
              (field.content_type.empty() ? "no content type"
                                          : field.content_type) +
              ", " + std::to_string(field.value.size()) + " bytes\n";
    } else {
      text += field.name + " = " + field.value + "\n";
    }
  }
  return text;
}

std::vector<std::string> HostsNeverAsked(
    const std::vector<DocumentElement>& elements,
    const std::set<std::string>& asked) {
  std::vector<std::string> never;
  for (const DocumentElement& element : elements) {
    const ReplayedRequest request = RequestFor(element);
    if (!FindHeader(request.headers, "Authorization") ||
        std::find(never.begin(), never.end(), element.host) != never.end()) {
      continue;
    }
    const int port = request.port != -1 ? request.port
                     : request.scheme == "https" ? kHttpsPort
                                                 : kHttpPort;
    if (asked.count(request.host + ":" + std::to_string(port)) == 0) {
      never.push_back(element.host);
    }
  }
  return never;
}

std::string CheckQuestion(const ReplayScope& scope,
                          const std::vector<std::string>& never_asked) {
  std::string question =
      "Check Replay sends the " + std::to_string(scope.requests) +
      (scope.requests == 1 ? " request" : " requests") + " of trans.xml (" +
      std::to_string(scope.posts) + (scope.posts == 1 ? " POST" : " POSTs") +
      ") again to " + Joined(scope.hosts, ", ") +
      ". Those servers act on them as on the recorded ones (a POST may "
      "place an order again).";
  if (!scope.credential_hosts.empty()) {
    question += " The password typed for this recording goes to " +
                Joined(scope.credential_hosts, ", ") + ".";
  }
  if (!never_asked.empty()) {
    question += " Of these, " + Joined(never_asked, ", ") +
                " never asked for it while recording: \"" + kWithoutPasswordCaption +
                "\" leaves it out for " +
                (never_asked.size() == 1 ? "that host." : "those hosts.");
  }
  return question + " Nothing in trans.xml or the browser changes.";
}

ReplayOptions CheckOptions(const std::string& proxy,
                           const std::vector<std::string>& proxy_bypass,
                           const std::vector<AcceptedCertificate>& accepted) {
  ReplayOptions options;
  options.proxy = proxy;
  if (!proxy.empty()) options.proxy_ignore_hosts = proxy_bypass;
  options.accept_certificate = AcceptOnly(accepted);
  return options;
}

}  // namespace scrivlet::replay
