#include "document/document_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "document/document_writer.h"
#include "test_support.h"

namespace scrivlet {
namespace {

// A header line without its <HL> and </HL>.
std::string Unwrapped(const std::string& hl) { return hl.substr(4, hl.size() - 9); }

std::string Document(const std::string& elements, bool closed) {
  return std::string(kDocumentStartLine) + kLineEnd + elements +
         (closed ? std::string(kDocumentEndLine) + kLineEnd : "");
}

TEST(DocumentReaderTest, ReadsBackWhatTheWriterWrote) {
  struct Case {
    std::string url, method, extra_headers, authorization;
    std::optional<std::string> body;
    bool completion;
  };
  const std::vector<Case> cases = {
      {"http://h:8080", "GET", "", "", std::nullopt, false},
      {"https://h/a?b=<&c=\"'>#f", "GET", "", "YTpi", std::nullopt, false},
      {"http://h/form", "POST",
       "Content-Type: application/x-www-form-urlencoded\r\n", "",
       std::string("a=1&b=x%26y&&c=\r\n<&>\0", 21), false},
      {"http://h/empty", "POST", "", "", "", false},
      {"http://h/to?x=1", "GET", "", "YTpi", std::nullopt, true},
      {"http://h/done", "GET", "", "", std::nullopt, true},
  };
  // As written, with LF line ends (through an editor), and joined.
  enum LineEnds { kCrLf, kLf, kJoined };
  for (const bool closed : {false, true}) {
    for (const LineEnds ends : {kCrLf, kLf, kJoined}) {
      const bool joined = ends == kJoined;
      std::vector<std::string> written;
      for (const Case& c : cases) {
        const RequestFields fields{c.method, *SplitUrl(c.url), c.authorization,
                                   ""};
        written.push_back(c.completion ? BuildCompletionElement(fields)
                                       : BuildNavigationElement(
                                             fields, c.extra_headers, c.body));
        if (ends == kLf) written.back() = testing::WithLf(written.back());
      }
      std::string elements;
      for (const std::string& element : written) elements += element;
      std::string text = Document(elements, closed);
      if (joined) text = JoinDocumentLines(text);
      if (ends == kLf) text = testing::WithLf(text);
      const TransactionDocument document = ReadTransactionDocument(text);
      EXPECT_EQ(document.closed, closed);
      ASSERT_EQ(document.elements.size(), cases.size());
      for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const UrlParts parts = *SplitUrl(c.url);
        std::vector<std::string> headers = {"Host: " + parts.host,
                                            Unwrapped(testing::kAcceptHl)};
        // Joined lines lose the line break that ends the extra headers.
        if (!c.extra_headers.empty()) {
          headers.push_back(
              c.extra_headers.substr(0, c.extra_headers.size() - 2) +
              (joined ? "" : ends == kLf ? "\n" : "\r\n"));
        }
        if (!c.authorization.empty()) {
          headers.push_back("Authorization: Basic " + c.authorization);
        }
        headers.push_back(Unwrapped(testing::kUserAgentHl));
        headers.push_back("Referer: " + parts.base);
        std::optional<std::string> body = c.body;
        if (body && !body->empty() && body->back() == '\0') body->pop_back();
        const DocumentElement& read = document.elements[i];
        EXPECT_EQ(read.kind, c.completion ? ElementKind::kCompletion
                                          : ElementKind::kNavigation);
        EXPECT_EQ(std::tie(read.method, read.header_lines, read.body),
                  std::tie(c.method, headers, body))
            << c.url;
        EXPECT_EQ(read.Url(), c.url);
        if (joined) continue;
        // Each element's span and lines: its own text, right after the last.
        EXPECT_EQ(text.substr(read.begin, read.end - read.begin), written[i]);
        EXPECT_EQ(read.first_line,
                  i == 0 ? 2 : document.elements[i - 1].last_line + 1);
        EXPECT_EQ(read.last_line - read.first_line + 1,
                  std::count(written[i].begin(), written[i].end(), '\n'));
      }
    }
  }
}

TEST(DocumentReaderTest, NamesTheLineWhereReadingStopped) {
  const std::string element = BuildNavigationElement(
      {"GET", *SplitUrl("http://h/a"), "", ""}, "", std::nullopt);
  const std::string start = std::string(kDocumentStartLine) + "\r\n";
  struct Case {
    std::string text, message;
  };
  const std::vector<Case> cases = {
      {" \r\n", "line 1: the document is empty"},
      {start + element.substr(0, 140),
       "line 6: the element is cut off before \"</HL>\""},
      {start + element + "<REQUEST><REQUEST-LINE NAME='STATIC'>\r\n<URI>",
       "line 13: expected \"<METHOD>\", found \"<URI>\""},
      {start + "<HL>Host: h</HL>\r\n",
       "line 2: expected \"<REQUEST>\" or \"</HTTP-TRANSACTION>\", found "
       "\"<HL>Host: h</HL>\""},
      {start + element + kDocumentEndLine + "\r\n" + element,
       "line 13: text after the closing line"},
      {start + "\x1b]0;owned\x07\\\xc2\x9b\xff" + element,
       "line 2: expected \"<REQUEST>\" or \"</HTTP-TRANSACTION>\", found "
       "\"\\x1b]0;owned\\x07\\\\\\xc2\\x9b\\xff<REQUEST><…\""},
      {start + "<REQUEST><REQUEST-LINE NAME='STATIC'><METHOD>GET</METHOD>"
               "<URI>/</URI></REQUEST-LINE>\r\n<HEADERS><HL>Host: h</HL>"
               "</HEADERS></REQUEST>\r\n",
       "line 2: the REQUEST element has no Referer line naming its scheme"},
  };
  for (const Case& c : cases) {
    try {
      ReadTransactionDocument(c.text);
      ADD_FAILURE() << "read: " << c.text;
    } catch (const DocumentReadError& error) {
      EXPECT_EQ(error.what(), c.message);
    }
  }
}

}  // namespace
}  // namespace scrivlet
