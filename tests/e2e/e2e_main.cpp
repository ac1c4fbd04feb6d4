// The main of every end-to-end test binary: one private X server for the
// whole process, started before the first test and stopped after the last.
#include <gtest/gtest.h>

#include "x_display.h"

namespace {

class XDisplayEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { scrivlet::e2e::StartDisplay(); }
  void TearDown() override { scrivlet::e2e::StopDisplay(); }
};

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::AddGlobalTestEnvironment(new XDisplayEnvironment);
  return RUN_ALL_TESTS();
}
