#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace scrivlet::testing {
namespace {

class RecordedElementTest : public SessionTest {
 protected:
  void SetUp() override { session.SetRecordedElementObserver(&observer); }
  FakeObserver observer;
};

TEST_F(RecordedElementTest, TellsEachAppendedElementAsTheFileHoldsIt) {
  Start();
  Navigate("http://h/form");
  session.WebBrowser1_DocumentComplete(kMainView, "http://h/form");
  Navigate("http://h/post", "a=1&b=2",
           "Content-Type: application/x-www-form-urlencoded\r\n");
  session.WebBrowser1_DocumentComplete(kMainView, "http://h/landing?x=1");

  ASSERT_EQ(observer.elements.size(), 3u);
  const RecordedElement& get = observer.elements[0];
  const RecordedElement& post = observer.elements[1];
  const RecordedElement& redirect = observer.elements[2];
  EXPECT_EQ(get.kind, ElementKind::kNavigation);
  EXPECT_EQ(get.method, "GET");
  EXPECT_EQ(get.url, "http://h/form");
  EXPECT_EQ(get.body_size, 0u);
  EXPECT_EQ(post.kind, ElementKind::kNavigation);
  EXPECT_EQ(post.method, "POST");
  EXPECT_EQ(post.url, "http://h/post");
  EXPECT_EQ(post.body_size, 7u);
  EXPECT_EQ(redirect.kind, ElementKind::kCompletion);
  EXPECT_EQ(redirect.method, "GET");
  EXPECT_EQ(redirect.url, "http://h/landing?x=1");
  EXPECT_EQ(redirect.body_size, 0u);
  // The texts are the file's elements, whole and in order.
  EXPECT_EQ(get.text + post.text + redirect.text, Recorded());
}

TEST_F(RecordedElementTest, AFailedAppendIsToldToNobody) {
  Start();
  files.fail_appends = true;
  Navigate("http://h/lost");
  files.fail_appends = false;
  Navigate("http://h/kept");

  ASSERT_EQ(observer.elements.size(), 1u);
  EXPECT_EQ(observer.elements[0].url, "http://h/kept");
  EXPECT_EQ(observer.elements[0].text, Recorded());
}

TEST_F(RecordedElementTest, EveryTransactionStartIsTold) {
  Start();
  Navigate("http://h/1");
  session.Reset_Click();
  Navigate("http://h/2");

  EXPECT_EQ(observer.events,
            (std::vector<std::string>{"start", "element", "start", "element"}));
  EXPECT_EQ(observer.elements.back().text, Recorded());
}

TEST_F(RecordedElementTest, WhatIsNotRecordedIsNotTold) {
  Start();
  session.RefreshButton_Click();
  Navigate("http://h/refreshed");
  Navigate("res://skipped");
  session.EndRecord_Click();
  Navigate("http://h/after-save");

  EXPECT_TRUE(observer.elements.empty());
}

}  // namespace
}  // namespace scrivlet::testing
