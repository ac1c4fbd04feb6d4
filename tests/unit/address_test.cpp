#include "document/address.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace scrivlet {
namespace {

struct Case {
  std::string url;
  std::string normalized;
};

TEST(UrlNormalizationTest, SpellsAddressesAsTheBrowserReportsThem) {
  const std::vector<Case> cases = {
      {"http://mgmt:8080/a/b.html", "http://mgmt:8080/a/b.html"},
      {"HTTP://MgmtServer:8080/a", "http://mgmtserver:8080/a"},
      {"http://mgmt:80/a", "http://mgmt/a"},
      {"https://mgmt:443/a", "https://mgmt/a"},
      {"https://mgmt:80/a", "https://mgmt:80/a"},
      {"http://mgmt:443/a", "http://mgmt:443/a"},
      {"http://mgmt:0080/a", "http://mgmt/a"},
      {"http://mgmt:/a", "http://mgmt/a"},
      {"http://mgmt", "http://mgmt/"},
      {"http://mgmt?q", "http://mgmt/?q"},
      {"http://mgmt/./a/../b/./c", "http://mgmt/b/c"},
      {"http://mgmt/a/b/..", "http://mgmt/a/"},
      {"http://mgmt/a/.", "http://mgmt/a/"},
      {"http://mgmt/../../a", "http://mgmt/a"},
      {"http://mgmt/a/%2E/b/%2e%2E/c", "http://mgmt/a/c"},
      {"http://mgmt/a%2fb%c3%a9", "http://mgmt/a%2Fb%C3%A9"},
      {"http://mgmt/a b\xC3\xA9", "http://mgmt/a%20b%C3%A9"},
      {"http://mgmt\\a\\b?c\\d", "http://mgmt/a/b?c\\d"},
      {"http://mgmt/a?x=./../%aa#f%bb", "http://mgmt/a?x=./../%AA#f%BB"},
      {"http://mgmt/100%", "http://mgmt/100%"},
      {"http://User:Pw@MGMT:80/a", "http://User:Pw@mgmt/a"},
      {"http://[::1]:80/a", "http://[::1]/a"},
      {"http://[::1]/a", "http://[::1]/a"},
      {"http://mgmt/.well-known/x", "http://mgmt/.well-known/x"},
      {"http://mgmt/a/%2e", "http://mgmt/a/"},
      {"http://mgmt/a\\b", "http://mgmt/a/b"},
      {"http://127.0.0.1:8080/a/b?c=%2f", "http://127.0.0.1:8080/a/b?c=%2F"},
      {"file:///W/./x.html", "file:///W/./x.html"},
      {"about:blank", "about:blank"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NormalizeUrl(c.url), c.normalized) << c.url;
  }
}

// Addresses the browser reports come back as they are (most completed pages
// are compared in this form).
TEST(UrlNormalizationTest, AnAddressInTheBrowsersSpellingIsKept) {
  const std::vector<std::string> addresses = {
      "http://mgmt/",
      "http://127.0.0.1:8080/shop/cart.do?item=7&x=%C3%A9#top",
      "https://mgmt:8443/a/b.c/d",
      "http://mgmt/a%2Fb%C3%A9",
      "http://mgmt/a?x=./../%AA#f\\%BB",
      "http://[::1]/a",
      "http://mgmt/100%",
  };
  for (const std::string& address : addresses) {
    EXPECT_EQ(NormalizeUrl(address), address);
    EXPECT_EQ(NormalizeUrl(NormalizeUrl(address)), address);
  }
}

TEST(UrlNormalizationTest, DifferentAddressesStayDifferent) {
  const std::vector<std::pair<std::string, std::string>> pairs = {
      {"http://mgmt:8080/a", "http://mgmt:8081/a"},
      {"http://mgmt/a", "http://evil/a"},
      {"http://mgmt/a", "https://mgmt/a"},
      {"http://mgmt/a/b", "http://mgmt/a/c"},
      {"http://mgmt/A", "http://mgmt/a"},
  };
  for (const auto& [a, b] : pairs) {
    EXPECT_NE(NormalizeUrl(a), NormalizeUrl(b)) << a << " " << b;
  }
}

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
