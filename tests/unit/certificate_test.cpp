#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace scrivlet::testing {
namespace {

using CertificateTest = SessionTest;

const std::string kApp = "https://intranet:8443/app";
const std::string kHome = "https://intranet:8443/app/home";

CertificateProblem Problem(std::vector<CertificateFault> faults = {
                               CertificateFault::kUnknownAuthority}) {
  return CertificateProblem{kApp, "intranet", std::move(faults), "PEM"};
}

// What a trusted site leaves: the navigation, then the redirect it ends in.
std::string TrustedSiteDocument() {
  Installation fresh;
  FailingFileSystem files;
  FakeBrowser browser;
  FakeView view;
  FakeProxy proxy;
  RecordingSession trusted(files, browser, view, proxy,
                           fresh.WorkingDirectory());
  WriteFile(fresh.AgentIni(), "");
  trusted.Form_Load({});
  trusted.WebBrowser1_BeforeNavigate2(kMainView, kApp, std::nullopt, "");
  trusted.WebBrowser1_DocumentComplete(kMainView, kHome);
  return ReadFile(fresh.TransXml());
}

TEST_F(CertificateTest, ContinueRecordsTheNavigationOnceAsForATrustedSite) {
  Start();
  view.continue_answer = true;
  Navigate(kApp);

  EXPECT_TRUE(session.WebBrowser1_CertificateError(Problem()));
  // The refused load ends, then the same address loads again and the
  // server sends the browser on.
  session.WebBrowser1_DocumentComplete(kMainView, kApp);
  Navigate(kApp);
  session.WebBrowser1_DocumentComplete(kMainView, kHome);

  EXPECT_EQ(ReadFile(install.TransXml()), TrustedSiteDocument());
  ASSERT_EQ(view.questions.size(), 1u);
  EXPECT_EQ(view.questions[0].second, "Continue to intranet");
  EXPECT_EQ(session.state().acceptedCertificates,
            (std::vector<AcceptedCertificate>{{"intranet", "PEM"}}));
}

TEST_F(CertificateTest, CancelLeavesTheErrorPageAndRecordsNothingMore) {
  Start();
  Navigate(kApp);
  const std::string after_navigation = Recorded();

  EXPECT_FALSE(session.WebBrowser1_CertificateError(Problem()));
  session.WebBrowser1_DocumentComplete(kMainView, kApp);

  EXPECT_EQ(Recorded(), after_navigation);
  // The next visit of the address is a navigation of its own.
  Navigate(kApp);
  EXPECT_EQ(Recorded(), after_navigation + after_navigation);
}

TEST_F(CertificateTest, AnotherNavigationAfterContinueEndsTheWaitForTheReload) {
  Start();
  view.continue_answer = true;
  Navigate(kApp);
  const std::string app = Recorded();
  ASSERT_TRUE(session.WebBrowser1_CertificateError(Problem()));
  session.WebBrowser1_DocumentComplete(kMainView, kApp);

  Navigate("https://elsewhere/");
  const std::string elsewhere = Recorded().substr(app.size());
  Navigate(kApp);

  EXPECT_NE(elsewhere, "");
  EXPECT_EQ(Recorded(), app + elsewhere + app);
}

TEST_F(CertificateTest, TheQuestionNamesTheHostAndEveryReason) {
  struct Case {
    std::vector<CertificateFault> faults;
    std::string reasons;
  };
  const Case cases[] = {
      {{CertificateFault::kUnknownAuthority},
       "it is not signed by an authority this system trusts (it is "
       "self-signed or comes from an internal authority)"},
      {{CertificateFault::kWrongHost, CertificateFault::kExpired},
       "it was issued for another host name; it has expired"},
      {{CertificateFault::kNotYetValid, CertificateFault::kRevoked,
        CertificateFault::kInsecure},
       "it is not valid yet; it has been revoked; it uses an algorithm too "
       "weak to rely on"},
      {{}, "it could not be checked"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reasons);
    EXPECT_EQ(CertificateQuestion(Problem(c.faults)),
              "The certificate of intranet is not trusted: " + c.reasons +
                  ". \"Continue to intranet\" accepts this certificate for "
                  "intranet until Scrivlet closes and loads the page again. "
                  "\"Cancel\" leaves the page unloaded.");
  }
}

}  // namespace
}  // namespace scrivlet::testing
