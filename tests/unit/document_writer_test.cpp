#include "document/document_writer.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/posix_file_system.h"
#include "support/reference_document.h"

namespace scrivlet {
namespace {

using testing::BuildContentLines;
using testing::BuildReferencePostElement;
using testing::SplitBody;

TEST(EscapeTextTest, EscapesFourCharactersAndReplacesBytesXmlCannotCarry) {
  struct Case {
    std::string input, expected;
  };
  const std::string fffd = "\xEF\xBF\xBD";
  const std::vector<Case> cases = {
      {"a&lt;'b\"<>", "a&amp;lt;'b&quot;&lt;&gt;"},
      {"tab\tcr\rlf\n del\x7f", "tab\tcr\rlf\n del\x7f"},
      {std::string("nul\0bell\x07" "esc\x1b", 13), "nul" + fffd + "bell" + fffd +
                                                    "esc" + fffd},
      {"caf\xc3\xa9 \xe2\x80\xa8 \xf0\x9f\x98\x80 \xc2\x85",
       "caf\xc3\xa9 \xe2\x80\xa8 \xf0\x9f\x98\x80 \xc2\x85"},
      {"lone\x80", "lone" + fffd},
      {"cut\xe2\x82", "cut" + fffd + fffd},
      {"over\xc0\xaf", "over" + fffd + fffd},
      {"surrogate\xed\xa0\x80", "surrogate" + fffd + fffd + fffd},
      {"nonchar\xef\xbf\xbe", "nonchar" + fffd + fffd + fffd},
      {"big\xf4\x90\x80\x80", "big" + fffd + fffd + fffd + fffd},
      {"latin1 \xe9t\xe9", "latin1 " + fffd + "t" + fffd},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EscapeText(c.input), c.expected) << c.input;
  }
}

// Long texts are scanned eight bytes at a time: a byte that needs work is
// found wherever it stands within or across those words.
TEST(EscapeTextTest, FindsASpecialByteAtEveryPositionOfALongText) {
  const std::string fffd = "\xEF\xBF\xBD";
  struct Special {
    std::string bytes;
    std::string escaped;
  };
  const std::vector<Special> specials = {
      {"&", "&amp;"},   {"<", "&lt;"},         {">", "&gt;"},
      {"\"", "&quot;"}, {"\t", "\t"},         {"\r\n", "\r\n"},
      {"\x01", fffd},   {std::string(1, '\0'), fffd}, {"\xC3\xA9", "\xC3\xA9"},
      {"\xFF", fffd},   {"\x7F", "\x7F"},
  };
  for (const Special& special : specials) {
    for (std::size_t at = 0; at <= 17; ++at) {
      const std::string before(at, 'a');
      const std::string after(17 - at, 'z');
      EXPECT_EQ(EscapeText(before + special.bytes + after),
                before + special.escaped + after)
          << "at " << at;
      EXPECT_EQ(SanitizeXmlBytes(before + special.bytes + after),
                before + (special.escaped[0] == '&' ? special.bytes
                                                     : special.escaped) +
                    after)
          << "at " << at;
    }
  }
}

TEST(JoinDocumentLinesTest, JoinsTheLinesAsTheyAreRead) {
  const std::vector<std::string> contents = {
      "",          "a",          "a\r\nb\nc", "a\n\n",       "\r\n",
      "\r\r\n",    "x\ry\r\r\n", "\n\r",     "a\r",          "\r",
      std::string("n\0l\xff\n", 5),
  };
  for (const std::string& content : contents) {
    std::string expected;
    for (const std::string& line : PosixFileSystem::SplitLines(content)) {
      expected += line;
    }
    EXPECT_EQ(JoinDocumentLines(content), expected) << content;
  }
  EXPECT_EQ(JoinDocumentLines("<A>\r\n<B>\r\n\r\n"), "<A><B>");
}

TEST(SplitBodyTest, SplitsAtEveryAmpersandAndDropsOneTrailingNul) {
  struct Case {
    std::string body;
    std::vector<std::string> pieces;
  };
  const std::vector<Case> cases = {
      {"", {}},
      {"a=1", {"a=1"}},
      {std::string("a=1&b=2\0", 8), {"a=1", "b=2"}},
      {std::string("a\0\0", 3), {std::string("a\0", 2)}},
      {std::string("a\0&b", 4), {"a", "b"}},
      {"&x&", {"", "x", ""}},
      {"line\r\nbreak", {"line\r\nbreak"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitBody(c.body), c.pieces);
}

TEST(ContentBlockTest, ABodyGivesTheBlockOfItsSplitPieces) {
  const std::vector<std::string> bodies = {
      "",
      "a=1",
      std::string("a=1&b=2\0", 8),
      std::string("a\0\0", 3),
      std::string("a\0&b", 4),
      "&x&",
      "q=<b>&r=\"x\"&s=\xe9\x01&t=caf\xc3\xa9",
      "line\r\nbreak&" + std::string(5000, 'p'),
      // Special bytes on and around the 16-byte steps of the scan.
      std::string(15, 'a') + "&" + std::string(16, 'b') + "<" +
          std::string(14, 'c') + "\xc3\xa9\t" + std::string(30, 'd') +
          std::string("\0&", 2) + std::string(31, 'e') + "\x80",
      std::string(16, 'f') + "\r\n\"" + std::string(13, 'g') + "\xf0\x9f\x98",
  };
  const RequestFields fields{"POST", *SplitUrl("http://h/form.do"), "", ""};
  const std::string headers = "Content-Type: application/x-www-form-urlencoded";
  for (const std::string& body : bodies) {
    EXPECT_EQ(BuildNavigationElement(fields, headers, body),
              BuildReferencePostElement(fields, headers, SplitBody(body)))
        << body;
  }
  EXPECT_EQ(BuildContentLines(SplitBody("a=1&b=<")),
            "<CONTENT>\r\n<W3C_ENC>a=1</W3C_ENC>\r\n"
            "<W3C_ENC>b=&lt;</W3C_ENC>\r\n</CONTENT>\r\n");
}

// Parses `document` strictly; the text of every element named `name`, in
// document order, or nullopt when it is not well-formed.
std::optional<std::vector<std::string>> ParseTexts(const std::string& document,
                                                   const std::string& name) {
  std::unique_ptr<xmlDoc, decltype(&xmlFreeDoc)> doc(
      xmlReadMemory(document.data(), static_cast<int>(document.size()),
                    "trans.xml", nullptr, XML_PARSE_NOERROR | XML_PARSE_NOWARNING),
      &xmlFreeDoc);
  if (!doc) return std::nullopt;
  std::vector<std::string> texts;
  std::vector<xmlNode*> stack{xmlDocGetRootElement(doc.get())};
  while (!stack.empty()) {
    xmlNode* node = stack.back();
    stack.pop_back();
    for (xmlNode* child = node->last; child; child = child->prev) {
      stack.push_back(child);
    }
    if (node->type == XML_ELEMENT_NODE &&
        name == reinterpret_cast<const char*>(node->name)) {
      xmlChar* text = xmlNodeGetContent(node);
      texts.emplace_back(reinterpret_cast<const char*>(text));
      xmlFree(text);
    }
  }
  return texts;
}

TEST(DocumentWriterTest, KeepsTheDocumentWellFormedForAnyBytes) {
  std::string all_bytes;
  for (int b = 0; b < 256; ++b) all_bytes += static_cast<char>(b);
  const std::string body = "k=" + all_bytes + "&<tag attr=\"v\">&&last]]>";
  const std::string url = "http://h<&\"\x01/p?q=" + all_bytes;
  const std::string headers = "X-Odd: <\x02\xff>\r\n";

  const std::optional<UrlParts> parts = SplitUrl(url);
  ASSERT_TRUE(parts);
  RequestFields fields{"POST", *parts, "YTpi", ""};
  const std::string document =
      std::string(kDocumentStartLine) + kLineEnd +
      BuildNavigationElement(fields, headers, body) +
      BuildCompletionElement(fields) + kDocumentEndLine + kLineEnd;

  // An XML parser reports every raw CR LF and lone CR as LF; the body
  // pieces hold references instead and come back exactly.
  auto as_parsed = [](std::string text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (text[i] != '\r') {
        out += text[i];
      } else if (i + 1 >= text.size() || text[i + 1] != '\n') {
        out += '\n';
      }
    }
    return out;
  };
  const auto pieces = ParseTexts(document, "W3C_ENC");
  ASSERT_TRUE(pieces) << "not well-formed";
  // Every piece comes back as recorded once the unrepresentable bytes are
  // accounted for; the URI is in the navigation and the completion form.
  std::vector<std::string> expected;
  for (const std::string& piece : SplitBody(body)) {
    expected.push_back(SanitizeXmlBytes(piece));
  }
  EXPECT_EQ(*pieces, expected);
  EXPECT_EQ(ParseTexts(document, "URI"),
            (std::vector<std::string>(2, as_parsed(SanitizeXmlBytes(parts->uri)))));
  EXPECT_EQ(ParseTexts(document, "HL")->at(2),
            "X-Odd: <\xEF\xBF\xBD\xEF\xBF\xBD>\n");
}

}  // namespace
}  // namespace scrivlet
