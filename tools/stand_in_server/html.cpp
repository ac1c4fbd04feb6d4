#include "stand_in_server/html.h"

namespace scrivlet::stand_in {

std::string EscapeHtml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string HtmlPage(std::string_view title, std::string_view body_html,
                     std::string_view head_extra) {
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<title>";
  page += EscapeHtml(title);
  page +=
      "</title>\n<style>\n"
      "body { font-family: sans-serif; margin: 1.5em; }\n"
      "table { border-collapse: collapse; }\n"
      "th, td { border: 1px solid #999; padding: 0.2em 0.6em; text-align: left; }\n"
      "label { display: block; margin: 0.4em 0; }\n"
      "</style>\n";
  page += head_extra;
  page += "</head>\n<body>\n";
  page += body_html;
  page += "</body>\n</html>\n";
  return page;
}

}  // namespace scrivlet::stand_in
