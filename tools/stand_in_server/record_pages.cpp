#include "stand_in_server/record_pages.h"

#include "stand_in_server/html.h"

namespace scrivlet::stand_in {
namespace {

// The recording program fills the four elements of the first form from
// outside, by position, and never submits it. Setting .value raises no
// event, so the page polls: once the document element holds text, all four
// are set (the program sets the document last), and the form goes out once.
// Nothing in the page writes the elements itself. The poll reads only the
// length: the document may be megabytes.
constexpr std::string_view kSubmitWhenFilledScript = R"js(<script>
window.addEventListener('DOMContentLoaded', function () {
  var form = document.forms[0];
  var status = document.getElementById('status');
  var timer = setInterval(function () {
    if (form.elements[3].value.length === 0) return;
    clearInterval(timer);
    status.textContent = 'Sending the transaction to the management server...';
    form.submit();
  }, 100);
});
</script>
)js";

std::string ValueRow(std::string_view label, const std::optional<std::string>& value) {
  std::string row = "<tr><th>";
  row += EscapeHtml(label);
  row += "</th><td>";
  row += value ? EscapeHtml(*value) : std::string("<em>not sent</em>");
  row += "</td></tr>\n";
  return row;
}

}  // namespace

RecordPageKind RecordPageKindFor(std::string_view path) {
  if (path.starts_with("/noform/")) return RecordPageKind::kNoForm;
  if (path.starts_with("/shortform/")) return RecordPageKind::kShortForm;
  return RecordPageKind::kUsable;
}

std::string RecordPage(RecordPageKind kind) {
  const std::string action(kServletPath);
  switch (kind) {
    case RecordPageKind::kNoForm:
      return HtmlPage("Record transaction",
                      "<h1>Record transaction</h1>\n"
                      "<p>This record page has no form.</p>\n");
    case RecordPageKind::kShortForm:
      return HtmlPage(
          "Record transaction",
          "<h1>Record transaction</h1>\n"
          "<form method=\"post\" action=\"" + action + "\">\n"
          "<input type=\"text\" name=\"uuid\">\n"
          "<input type=\"text\" name=\"name\">\n"
          "<input type=\"text\" name=\"startUrl\">\n"
          "</form>\n");
    case RecordPageKind::kUsable:
      break;
  }
  return HtmlPage(
      "Record transaction",
      "<h1>Record transaction</h1>\n"
      "<p id=\"status\">Waiting for the transaction document...</p>\n"
      "<form method=\"post\" action=\"" + action + "\""
      " enctype=\"application/x-www-form-urlencoded\" accept-charset=\"utf-8\">\n"
      "<label>Transaction uuid <input type=\"text\" name=\"uuid\" size=\"40\"></label>\n"
      "<label>Transaction name <input type=\"text\" name=\"name\" size=\"40\"></label>\n"
      "<label>Start address <input type=\"text\" name=\"startUrl\" size=\"60\"></label>\n"
      // The document is hidden: laying out megabytes of text in a visible
      // box costs the engine seconds. A hidden control is still submitted.
      "<textarea name=\"trans\" hidden></textarea>\n"
      "<input type=\"submit\" value=\"Upload\">\n"
      "</form>\n",
      kSubmitWhenFilledScript);
}

std::string UploadAnswerPage(const Upload& upload, const std::string& folder,
                             const TransactionCheck& check) {
  std::string body;
  if (check.accepted) {
    body += "<h1>Transaction received</h1>\n";
    body += "<p>The management server stored this transaction in <code>" +
            EscapeHtml(folder) + "</code>.</p>\n";
  } else {
    body += "<h1>Transaction refused</h1>\n";
    body += "<p id=\"reason\">The management server refused this transaction: " +
            EscapeHtml(check.reason) + ".</p>\n";
    body += "<p>What it received is kept as it came in <code>" +
            EscapeHtml(folder) + "</code>.</p>\n";
  }
  body += "<table>\n";
  body += ValueRow("Uuid", upload.uuid);
  body += ValueRow("Name", upload.name);
  body += ValueRow("Start address", upload.start_url);
  body += "</table>\n";
  if (check.accepted) {
    body += "<h2>Recorded requests: " + std::to_string(check.requests.size()) +
            "</h2>\n";
    body += "<table id=\"requests\">\n"
            "<tr><th>Method</th><th>Address</th><th>Body size</th></tr>\n";
    for (const RecordedRequest& request : check.requests) {
      body += "<tr><td>" + EscapeHtml(request.method) + "</td><td>" +
              EscapeHtml(request.address) + "</td><td>" +
              (request.body_size ? std::to_string(*request.body_size)
                                 : std::string("no body")) +
              "</td></tr>\n";
    }
    body += "</table>\n";
  }
  return HtmlPage(check.accepted ? "Transaction received" : "Transaction refused",
                  body);
}

}  // namespace scrivlet::stand_in
