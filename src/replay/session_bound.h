#ifndef SCRIVLET_REPLAY_SESSION_BOUND_H_
#define SCRIVLET_REPLAY_SESSION_BOUND_H_

// Session-bound values: what a request sends that the server handed out for
// one session only (a token in a hidden field, a nonce in a link), so that
// sending the recorded value again fails.
//
// A value is session-bound when the request sends a query parameter or a
// form field whose name the latest answer of the replay that handed out
// that name handed out with another value, and no answer of the replay
// still hands out the value sent: neither as such a field nor written as
// "NAME=VALUE" anywhere in its text (a script's link, which the scan does
// not see as one). A page that holds the name with another value beside
// the one the recording used (two links to one page) is no alarm. Answers
// hand out values as
//  * the value of an input (hidden fields above all; inputs the person
//    types into are left out, their value is the person's, and so are
//    empty values),
//  * the content of a meta element, under its name,
//  * the query parameters of a link (a, area, frame and iframe addresses)
//    and of a form's action.

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "replay/replayed_request.h"

namespace scrivlet::replay {

struct NamedValue {
  std::string name;
  std::string value;
  bool operator==(const NamedValue&) const = default;
};

struct SessionBoundValue {
  std::string name;
  std::string recorded;  // what the recording sends
  std::string served;    // what the replay's answer handed out
  bool operator==(const SessionBoundValue&) const = default;
};

// The values an HTML answer hands out, in document order, read with
// libxml2's HTML parser. `charset` is the answer's charset parameter, ""
// to let the page's own declaration decide.
std::vector<NamedValue> HandedOutValues(std::string_view html,
                                        const std::string& charset = "");

// The query parameters and form fields `request` sends, decoded, in order:
// the URL's query, then a URL-encoded body (Content-Type
// application/x-www-form-urlencoded, or none at all) or the fields of a
// multipart/form-data body; a part that carries a file name is file
// contents and is left out. Other bodies send no fields.
std::vector<NamedValue> SentFields(const ReplayedRequest& request);

// False only when `html` cannot hand out a value named `name`: its text
// holds the name nowhere between what stands before a name in an attribute
// or a query (a quote, "=", "?", "&" or ";") and what may follow it (a
// quote, "=", "&", "#", ">" or a blank). A name with
// other characters than letters, digits, "-", "_" and "." may stand escaped
// in a page, and gives true. A quick test that spares parsing answers that
// do not matter.
bool MayHandOut(std::string_view html, const std::string& name);

// One field of a form body as the request sends it: a URL-encoded pair, or a
// multipart part with its file name and content type (nullopt and "" for a
// part that is no file) and its bytes.
struct FormField {
  std::string name;
  std::string value;
  std::optional<std::string> file_name;
  std::string content_type;
  bool operator==(const FormField&) const = default;
};

// The fields of the body `request` sends (not its query), decoded as
// SentFields decodes them, file parts included.
std::vector<FormField> BodyFields(const ReplayedRequest& request);

// "a=1&b=x+y" as name, value pairs, "+" and percent escapes decoded.
std::vector<NamedValue> DecodeUrlEncoded(std::string_view text);

// Whether `text` holds "NAME=VALUE" for `field`, its value as it stands or
// URL-encoded, standing on its own (not inside a longer name or value).
bool HoldsPair(std::string_view text, const NamedValue& field);

// What the answers of a replay have handed out so far: for each name, the
// values of the latest answer that handed it out, and which of the fields
// the later requests send some answer still hands out as they were
// recorded.
class HandedOutLedger {
 public:
  // An answer that hands out `values` (HandedOutValues of `text`);
  // `wanted` are the fields the later requests send.
  void AddAnswer(const std::vector<NamedValue>& values, std::string_view text,
                 const std::vector<NamedValue>& wanted);

  // The fields of `sent` whose names were handed out, but with other values
  // only. Each is named once, with the first value handed out.
  std::vector<SessionBoundValue> SessionBound(
      const std::vector<NamedValue>& sent) const;

 private:
  std::map<std::string, std::vector<std::string>> values_;
  std::set<std::pair<std::string, std::string>> still_handed_out_;
};

}  // namespace scrivlet::replay

#endif  // SCRIVLET_REPLAY_SESSION_BOUND_H_
