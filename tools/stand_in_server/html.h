#ifndef SCRIVLET_TOOLS_STAND_IN_SERVER_HTML_H_
#define SCRIVLET_TOOLS_STAND_IN_SERVER_HTML_H_

#include <string>
#include <string_view>

namespace scrivlet::stand_in {

// The text with "&", "<", ">", '"' and "'" replaced by their entities, safe
// inside element content and quoted attribute values.
std::string EscapeHtml(std::string_view text);

// A whole UTF-8 HTML page around `body_html`, with `title` (escaped here) as
// its title. `head_extra` goes verbatim into the head (scripts).
std::string HtmlPage(std::string_view title, std::string_view body_html,
                     std::string_view head_extra = {});

}  // namespace scrivlet::stand_in

#endif  // SCRIVLET_TOOLS_STAND_IN_SERVER_HTML_H_
