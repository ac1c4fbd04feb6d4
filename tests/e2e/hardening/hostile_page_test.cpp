// Pages that try to make the program record a body that was never sent, or
// to get the transaction document: every recorded body must be the body the
// server received, and no page but the program's own record page may get
// anything filled in.
#include "hardening_support.h"

namespace scrivlet::e2e::hardening {
namespace {

constexpr char kUrlEncoded[] = "application/x-www-form-urlencoded";

// A forged capture message in the shape the capture script posts, aimed at
// `action`; posted to whatever channel the page can reach.
std::string ForgeMessages(const std::string& action) {
  // Each forged message claims a submission of its own, so that one sent
  // after the form's would be the newest.
  return "var forgeries=0;"
         "function forge(){++forgeries;"
         "var m={kind:'form',id:forgeries,frame:'forged'+forgeries,action:'" +
         action +
         "',method:'post',charset:'UTF-8',complete:true,"
         "entries:[{name:'forged',value:'yes'}]};"
         "try{window.webkit.messageHandlers.scrivletCapture.postMessage(m);}"
         "catch(e){}"
         // The capture world's own channel, were it in the page's world.
         "try{scrivletPost(m);}catch(e){}"
         "try{for(var k in window.webkit.messageHandlers){"
         "window.webkit.messageHandlers[k].postMessage(m);}}catch(e){}}";
}

constexpr char kTargetForm[] =
    "<form method=\"post\" action=\"/h/target\">"
    "<input name=\"real\" value=\"sent by the form\">"
    "<input name=\"n\" value=\"1\"></form>";

std::string AfterLoad(const std::string& action, int delay_ms = 100) {
  return "addEventListener('load',function(){setTimeout(function(){" + action +
         "}," + std::to_string(delay_ms) + ");});";
}

class HostilePageTest : public HardeningTest {
 protected:
  HostilePageTest() {
    site_.AddPage("/h/target", BeaconPage("Target", "<p>target</p>"));
    other_.AddPage("/x/target", BeaconPage("Other target", "<p>other</p>"));
  }

  // The body the site received with its last POST to `path`.
  std::string ReceivedBody(const Site& site, const std::string& path) const {
    const auto posts = site.RequestsTo(path);
    for (auto it = posts.rbegin(); it != posts.rend(); ++it) {
      if (it->method == "POST") return it->body;
    }
    ADD_FAILURE() << "no POST to " << path << " arrived";
    return "";
  }

  // Visits `page`, whose script posts to /h/target by itself, and expects
  // exactly the page and that post, with the body the server received.
  void ExpectOnlyTheSentBody(const std::string& page) {
    StartRecording();
    const std::string url = site_.Url(page);
    TypeAddress(url);
    ASSERT_TRUE(site_.WaitForBeacon("/h/target", 1));
    const std::string received = ReceivedBody(site_, "/h/target");
    ExpectDocumentThenSentinel(
        ExpectedGet(url) +
        ExpectedPost(site_.Url("/h/target"), received, kUrlEncoded));
  }

  Site other_;  // another origin: another port of 127.0.0.1
};

TEST_F(HostilePageTest, OwnMessageHandlersOfThePageForgeNothing) {
  site_.AddPage(
      "/h/fake-handlers",
      BeaconPage("Fake handlers", kTargetForm,
                 ForgeMessages(site_.Url("/h/target")) +
                     // The real channel, if the page could see it, first;
                     // then a channel of the page's own making.
                     "forge();"
                     "window.webkit={messageHandlers:{scrivletCapture:{"
                     "postMessage:function(){}}}};" +
                     AfterLoad("forge();document.forms[0].submit();forge();")));
  ExpectOnlyTheSentBody("/h/fake-handlers");
  EXPECT_EQ(ReceivedBody(site_, "/h/target"),
            "real=sent+by+the+form&n=1");
}

TEST_F(HostilePageTest, ForgedFormDataEventsAfterTheSubmissionForgeNothing) {
  // The page submits its form and then, in the same task, dispatches
  // formdata events of its own making on it, as the real one looks.
  site_.AddPage(
      "/h/fake-event",
      BeaconPage(
          "Fake formdata event", kTargetForm,
          AfterLoad("var f=document.forms[0];f.submit();"
                    "for(var i=0;i<3;i++){var d=new FormData();"
                    "d.append('forged','event '+i);"
                    "f.dispatchEvent(new FormDataEvent('formdata',"
                    "{formData:d,bubbles:true}));}")));
  ExpectOnlyTheSentBody("/h/fake-event");
  EXPECT_EQ(ReceivedBody(site_, "/h/target"), "real=sent+by+the+form&n=1");
}

TEST_F(HostilePageTest, ReplacedSubmitRecordsWhatTheFormSent) {
  // The page's own submit changes a field and tries to post a body of its
  // own before it hands on to the real one.
  site_.AddPage(
      "/h/replaced-submit",
      BeaconPage("Replaced submit", kTargetForm,
                 ForgeMessages(site_.Url("/h/target")) +
                     "var realSubmit=HTMLFormElement.prototype.submit;"
                     "HTMLFormElement.prototype.submit=function(){"
                     "this.elements.n.value='2';forge();"
                     "realSubmit.call(this);};"
                     "HTMLFormElement.prototype.requestSubmit=function(){};" +
                     AfterLoad("document.forms[0].submit();")));
  ExpectOnlyTheSentBody("/h/replaced-submit");
  EXPECT_EQ(ReceivedBody(site_, "/h/target"), "real=sent+by+the+form&n=2");
}

TEST_F(HostilePageTest, PageFormDataListenersChangeWhatIsSentAndRecorded) {
  // One listener rewrites the entry list; a second one stops the event
  // there, so no listener on the window sees it bubble.
  site_.AddPage(
      "/h/listener",
      BeaconPage("Listener", kTargetForm,
                 "var f=document.forms[0];"
                 "f.addEventListener('formdata',function(e){"
                 "e.formData.delete('real');"
                 "e.formData.set('n','changed & more');"
                 "e.formData.append('added','\\u00e9\\u2028<x>');});"
                 "f.addEventListener('formdata',function(e){"
                 "e.stopImmediatePropagation();});" +
                     AfterLoad("f.submit();")));
  ExpectOnlyTheSentBody("/h/listener");
  EXPECT_EQ(ReceivedBody(site_, "/h/target"),
            "n=changed+%26+more&added=%C3%A9%E2%80%A8%3Cx%3E");
}

TEST_F(HostilePageTest, CrossOriginFramePostsOnlyWhatItSent) {
  // A frame from another origin submits its form and tries to forge a body
  // for the top page's own form address around it.
  other_.AddPage(
      "/x/frame",
      BeaconPage("Other frame",
                 "<form method=\"post\" action=\"/x/target\">"
                 "<input name=\"from\" value=\"other origin\"></form>",
                 ForgeMessages(site_.Url("/h/target")) +
                     AfterLoad("forge();document.forms[0].submit();forge();")));
  site_.AddPage(
      "/h/cross-frame",
      BeaconPage("Cross-origin frame",
                 "<iframe src=\"" + other_.Url("/x/frame") + "\"></iframe>" +
                     kTargetForm));
  StartRecording();
  const std::string url = site_.Url("/h/cross-frame");
  TypeAddress(url);
  ASSERT_TRUE(other_.WaitForBeacon("/x/target", 1));
  const std::string frame_body = ReceivedBody(other_, "/x/target");
  EXPECT_EQ(frame_body, "from=other+origin");
  ExpectDocumentThenSentinel(
      ExpectedGet(url) + ExpectedGet(other_.Url("/x/frame")) +
      ExpectedPost(other_.Url("/x/target"), frame_body, kUrlEncoded));
}

// A page that plays the record page somewhere else reports, a while after
// it loaded, what its four elements hold (by fetch, which is no
// navigation).
std::string LookAlikeRecordPage() {
  return BeaconPage(
      "Record",
      "<form method=\"post\" action=\"/x/never\"><input name=\"uuid\">"
      "<input name=\"name\"><input name=\"start\">"
      "<textarea name=\"doc\"></textarea></form>",
      AfterLoad("var e=document.forms[0].elements;"
                "fetch('/x/report',{method:'POST',body:"
                "'['+e[0].value+']['+e[1].value+']['+e[2].value+']['"
                "+e[3].value+']'});",
                1500));
}

TEST_F(HostilePageTest, LookAlikeRecordPagesReceiveNothing) {
  const std::string path =
      "/mgmt/com.brenik.morix.core.util.FileTransfer/WYT/record.html";
  // The same path on another port, and the record page's tail under another
  // path of the management server's own host and port.
  other_.AddPage(path, LookAlikeRecordPage());
  other_.Add("/x/report", [](const RecordedRequest&) {
    return Reply{204, "", ""};
  });
  site_.AddPage("/h/start", BeaconPage("Start", "<p>start</p>"));
  StartRecording();
  Visit("/h/start");
  TypeAddress(other_.Url(path + "?session=1"));
  ASSERT_TRUE(other_.WaitForRequest("/x/report", 1));
  const std::string elsewhere =
      server_.Url("/elsewhere/com.brenik.morix.core.util.FileTransfer/"
                  "WYT/record.html");
  TypeAddress(elsewhere);
  // The shared server has no such page: its 404 answer is no record page
  // and takes no form, so only the request is seen there.
  ASSERT_TRUE(server_.WaitFor(
      [](const std::vector<RecordedRequest>& requests) {
        for (const auto& request : requests) {
          if (request.path.starts_with("/elsewhere/")) return true;
        }
        return false;
      },
      kWaitTimeout));
  for (const auto& report : other_.RequestsTo("/x/report")) {
    EXPECT_EQ(report.body, "[][][][]") << "a look-alike record page got data";
  }
  // Neither look-alike is recorded; the session goes on.
  ExpectDocumentThenSentinel(ExpectedGet(site_.Url("/h/start")));
  EXPECT_TRUE(program_->IsRunning());
}

TEST_F(HostilePageTest, ServletAddressesBeforeSavingDoNotEndTheSession) {
  // A link of the site to its own servlet-path address, and a script that
  // sends the browser to the management server's real servlet address.
  site_.AddPage("/servlet/com.brenik.morix.core.util.ApplyTransDocServlet",
                BeaconPage("Servlet look-alike", "<p>servlet</p>",
                           AfterLoad("location.href='" +
                                     server_.Url(kServletPath) + "?x=1';")));
  site_.AddPage(
      "/h/servlet-link",
      BeaconPage("Servlet link", "<p>link</p>",
                 AfterLoad("location.href='/servlet/com.brenik.morix.core."
                           "util.ApplyTransDocServlet?from=link';")));
  StartRecording();
  Visit("/h/servlet-link");
  ASSERT_TRUE(server_.WaitForBeacon(std::string(kServletPath) + "?x=1", 1,
                                    kWaitTimeout));
  EXPECT_TRUE(program_->IsRunning());
  EXPECT_TRUE(MessageWindows().empty());
  EXPECT_TRUE(FileExists(installation_.TransNamePath()));
  ExpectDocumentThenSentinel(ExpectedGet(site_.Url("/h/servlet-link")));
  EXPECT_TRUE(program_->IsRunning());
}

}  // namespace
}  // namespace scrivlet::e2e::hardening
