#include "platform/form_body.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace scrivlet {
namespace {

FormEntry Text(std::string name, std::string value) {
  return FormEntry{std::move(name), false, std::move(value), "", ""};
}

FormEntry File(std::string name, std::string filename, std::string type,
               std::string bytes) {
  return FormEntry{std::move(name), true, std::move(bytes),
                   std::move(filename), std::move(type)};
}

TEST(FormBodyTest, SerialisesUrlEncodedBodiesAsTheEngineSendsThem) {
  struct Case {
    std::vector<FormEntry> entries;
    std::string charset;
    std::string expected;
  };
  const Case cases[] = {
      {{Text("user", "ann"), Text("pass", "s3cret")}, "UTF-8",
       "user=ann&pass=s3cret"},
      {{Text("q", "a b+c&d=e/f")}, "UTF-8", "q=a+b%2Bc%26d%3De%2Ff"},
      {{Text("keep", "*-._~")}, "UTF-8", "keep=*-._%7E"},
      // Line breaks of a textarea travel as CR LF, whatever the page held.
      {{Text("t", "one\ntwo\rthree\r\nfour")}, "UTF-8",
       "t=one%0D%0Atwo%0D%0Athree%0D%0Afour"},
      {{Text("name", "\xC3\xA9t\xC3\xA9")}, "UTF-8", "name=%C3%A9t%C3%A9"},
      // Bytes that are no UTF-8 (beyond U+10FFFF, overlong): U+FFFD each.
      {{Text("v", "\xF5\x8B\x88\x90\xC0\x80")}, "UTF-8",
       "v=%EF%BF%BD%EF%BF%BD%EF%BF%BD%EF%BF%BD%EF%BF%BD%EF%BF%BD"},
      // A legacy page: what the encoding cannot hold becomes a reference.
      {{Text("name", "\xC3\xA9\xE2\x82\xAC\xE4\xB8\xAD")}, "windows-1252",
       "name=%E9%80%26%2320013%3B"},
      // A file input contributes its file name only.
      {{File("doc", "a b.txt", "text/plain", "content")}, "UTF-8",
       "doc=a+b.txt"},
      {{}, "UTF-8", ""},
      {{Text("", "")}, "UTF-8", "="},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SerializeFormBody("application/x-www-form-urlencoded",
                                c.entries, c.charset),
              c.expected)
        << c.expected;
  }
}

TEST(FormBodyTest, SerialisesTextPlainBodiesLineByLine) {
  EXPECT_EQ(SerializeFormBody("text/plain",
                              {Text("a", "1 2"), Text("b", "x\ny")}, "UTF-8"),
            "a=1 2\r\nb=x\r\ny\r\n");
}

TEST(FormBodyTest, SerialisesMultipartBodiesWithTheRequestsBoundary) {
  const std::string content_type =
      "multipart/form-data; boundary=----WebKitFormBoundaryXyZ";
  const std::string body = SerializeFormBody(
      content_type,
      {Text("title", "two\nlines"),
       File("upload", "pic \"1\".bin", "", std::string("\x00\xFF\r\n", 4)),
       File("empty", "", "", "")},
      "UTF-8");
  EXPECT_EQ(body,
            "------WebKitFormBoundaryXyZ\r\n"
            "Content-Disposition: form-data; name=\"title\"\r\n\r\n"
            "two\r\nlines\r\n"
            "------WebKitFormBoundaryXyZ\r\n"
            "Content-Disposition: form-data; name=\"upload\"; "
            "filename=\"pic %221%22.bin\"\r\n"
            "Content-Type: application/octet-stream\r\n\r\n" +
                std::string("\x00\xFF\r\n", 4) +
                "\r\n"
                "------WebKitFormBoundaryXyZ\r\n"
                "Content-Disposition: form-data; name=\"empty\"; "
                "filename=\"\"\r\n"
                "Content-Type: application/octet-stream\r\n\r\n"
                "\r\n"
                "------WebKitFormBoundaryXyZ--\r\n");
}

TEST(FormBodyTest, FindsTheBoundaryParameterOnly) {
  struct Case {
    std::string content_type;
    std::string boundary;
  };
  const Case cases[] = {
      {"multipart/form-data; boundary=abc", "abc"},
      {"multipart/form-data; boundary=\"a b;c\"", "a b;c"},
      {"multipart/form-data;boundary=abc; charset=x", "abc"},
      {"multipart/form-data; xboundary=no; boundary=yes", "yes"},
      {"multipart/form-data", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MultipartBoundary(c.content_type), c.boundary) << c.content_type;
  }
}

}  // namespace
}  // namespace scrivlet
