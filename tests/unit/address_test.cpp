#include "document/address.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace scrivlet {
namespace {

TEST(SplitUrlTest, TakesSchemeAuthorityAndTheRestAsText) {
  struct SplitCase {
    std::string url;
    std::optional<std::vector<std::string>> expected;  // scheme, host, base, uri
  };
  using V = std::vector<std::string>;
  const std::vector<SplitCase> cases = {
      {"http://a/b?c#d", V{"http", "a", "http://a", "/b?c#d"}},
      {"https://h:8443", V{"https", "h:8443", "https://h:8443", ""}},
      {"http://u:p@h/x/", V{"http", "u:p@h", "http://u:p@h", "/x/"}},
      {"http://h?q=/z", V{"http", "h?q=", "http://h?q=", "/z"}},
      {"http:foo", std::nullopt},
      {"https:/x", std::nullopt},
      {"http://", std::nullopt},
      {"http:///x", std::nullopt},
      {"http/x://h/", std::nullopt},
      {"nocolon", std::nullopt},
  };
  for (const SplitCase& c : cases) {
    const std::optional<UrlParts> parts = SplitUrl(c.url);
    ASSERT_EQ(parts.has_value(), c.expected.has_value()) << c.url;
    if (parts) {
      EXPECT_EQ((V{parts->scheme, parts->host, parts->base, parts->uri}),
                *c.expected)
          << c.url;
    }
  }
}

}  // namespace
}  // namespace scrivlet
