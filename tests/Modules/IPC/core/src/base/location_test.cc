// Posted-from locations: the default, and what a posting site records.
#include "base/location.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// Generous bound on the size of the small function below.
const uintptr_t kMaxFunctionBytes = 4096;

#if defined(_MSC_VER)
#define TEST_NOINLINE __declspec(noinline)
#else
#define TEST_NOINLINE __attribute__((noinline))
#endif

TEST_NOINLINE tracked_objects::Location PostingSite() {
  return FROM_HERE;
}

TEST(LocationTest, DefaultIsUnknown) {
  tracked_objects::Location location;
  EXPECT_STREQ("Unknown", location.function_name());
  EXPECT_STREQ("Unknown", location.file_name());
  EXPECT_EQ(-1, location.line_number());
  EXPECT_EQ(nullptr, location.program_counter());
}

TEST(LocationTest, ExplicitFunctionNameAndThisSite) {
  const int line = __LINE__ + 1;
  tracked_objects::Location location = FROM_HERE_WITH_FUNCTION("base::Thread::StopSoon");
  EXPECT_STREQ("base::Thread::StopSoon", location.function_name());
  EXPECT_STREQ(__FILE__, location.file_name());
  EXPECT_EQ(line, location.line_number());
  EXPECT_NE(nullptr, location.program_counter());
}

TEST(LocationTest, ProgramCounterLiesInThePostingFunction) {
  tracked_objects::Location location = PostingSite();
  EXPECT_STREQ("PostingSite", location.function_name());
  uintptr_t start = reinterpret_cast<uintptr_t>(&PostingSite);
  uintptr_t pc = reinterpret_cast<uintptr_t>(location.program_counter());
  EXPECT_GT(pc, start);
  EXPECT_LT(pc, start + kMaxFunctionBytes);
}

}  // namespace
