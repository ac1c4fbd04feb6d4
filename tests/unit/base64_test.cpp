#include "document/base64.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace scrivlet {
namespace {

TEST(EncodeBase64Test, MatchesTheRfc4648Vectors) {
  struct Case {
    std::string input, expected;
  };
  const std::vector<Case> cases = {
      {"", ""},           {"f", "Zg=="},         {"fo", "Zm8="},
      {"foo", "Zm9v"},    {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {"Aladdin:open sesame", "QWxhZGRpbjpvcGVuIHNlc2FtZQ=="},
      {"user:pa:ss", "dXNlcjpwYTpzcw=="},
      {std::string("\0\xff\xfe", 3), "AP/+"},
      {"\xc3\xa9t\xc3\xa9", "w6l0w6k="},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeBase64(c.input), c.expected) << c.input;
  }
}

TEST(EncodeBase64Test, NeverBreaksLongInputs) {
  const std::string encoded = EncodeBase64(std::string(3000, 'x'));
  EXPECT_EQ(encoded.size(), 4000u);
  EXPECT_EQ(encoded.find_first_not_of("eHh4"), std::string::npos);
}

}  // namespace
}  // namespace scrivlet
