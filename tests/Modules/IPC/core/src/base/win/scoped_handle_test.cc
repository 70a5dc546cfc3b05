// Ownership rules of the kernel-handle owners.
#include "base/win/scoped_handle.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace {

bool IsOpen(HANDLE handle) {
  DWORD flags = 0;
  return GetHandleInformation(handle, &flags) != FALSE;
}

TEST(ScopedHandleTest, ClosesOnDestructionAndMoveKeepsOneOwner) {
  HANDLE raw = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  {
    base::win::ScopedHandle first(raw);
    base::win::ScopedHandle second(std::move(first));
    EXPECT_FALSE(first.IsValid());
    EXPECT_EQ(raw, second.Get());
    EXPECT_TRUE(IsOpen(raw));
  }
  EXPECT_FALSE(IsOpen(raw));
}

TEST(ScopedHandleTest, EachKindTreatsBothFailureValuesAsNoHandle) {
  base::win::ScopedHandle event(INVALID_HANDLE_VALUE);
  base::win::ScopedFileHandle pipe(nullptr);
  EXPECT_FALSE(event.IsValid());
  EXPECT_FALSE(pipe.IsValid());
  EXPECT_EQ(INVALID_HANDLE_VALUE, pipe.Get());
  EXPECT_EQ(nullptr, event.Get());
}

TEST(ScopedHandleTest, TakeGivesUpOwnershipWithoutClosing) {
  HANDLE raw = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  {
    base::win::ScopedHandle owner(raw);
    EXPECT_EQ(raw, owner.Take());
  }
  EXPECT_TRUE(IsOpen(raw));
  base::win::ScopedHandle cleanup(raw);
}

}  // namespace
