// Thread-local slots with destructors, run as threads and the process end.
#include "base/threading/thread_local_storage.h"

#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/win/scoped_handle.h"
#include "support/child_test_runner.h"
#include "support/thread_runner.h"
#include "support/under_wine.h"
#include "support/unique_name.h"

namespace {

using base::ThreadLocalStorage;

const char kChildExhaustsSlots[] = "ThreadLocalStorageChild.DISABLED_HandsOutSixtyThreeSlots";
const char kChildSetsMainThreadValue[] = "ThreadLocalStorageChild.DISABLED_SetsMainThreadValue";
const wchar_t kExitEventVariable[] = L"THREAD_LOCAL_STORAGE_TEST_EXIT_EVENT";

// What the destructors of one test saw, in call order. Each test resets it first; the
// destructors run on the test's worker thread, which the test joins before reading.
struct DestructorCall {
  const char* destructor;
  void* value;
  DWORD thread_id;
};
std::vector<DestructorCall> g_calls;

void Record(const char* destructor, void* value) {
  g_calls.push_back({destructor, value, ::GetCurrentThreadId()});
}

void RecordFirst(void* value) {
  Record("first", value);
}

TEST(ThreadLocalStorageTest, ValuesArePerThreadAndDestroyedOnTheEndingThread) {
  g_calls.clear();
  ThreadLocalStorage::Slot slot(RecordFirst);
  ASSERT_TRUE(slot.initialized());
  int main_value = 0;
  int worker_value = 0;
  slot.Set(&main_value);
  void* worker_saw = &main_value;
  DWORD worker_id = 0;
  ASSERT_TRUE(test::RunOnNewThread([&] {
    worker_id = ::GetCurrentThreadId();
    worker_saw = slot.Get();
    slot.Set(&worker_value);
  }));
  EXPECT_EQ(nullptr, worker_saw);
  EXPECT_EQ(&main_value, slot.Get());
  ASSERT_EQ(1u, g_calls.size());
  EXPECT_EQ(&worker_value, g_calls[0].value);
  EXPECT_EQ(worker_id, g_calls[0].thread_id);
  slot.Set(nullptr);
  slot.Free();
}

TEST(ThreadLocalStorageTest, NullValuesFreedSlotsAndSlotsWithoutDestructorAreSkipped) {
  g_calls.clear();
  ThreadLocalStorage::Slot never_set(RecordFirst);
  ThreadLocalStorage::Slot set_to_null(RecordFirst);
  ThreadLocalStorage::Slot freed(RecordFirst);
  ThreadLocalStorage::Slot without_destructor;
  int value = 0;
  ASSERT_TRUE(test::RunOnNewThread([&] {
    set_to_null.Set(&value);
    set_to_null.Set(nullptr);
    freed.Set(&value);
    freed.Free();
    without_destructor.Set(&value);
    EXPECT_EQ(&value, without_destructor.Get());
  }));
  EXPECT_FALSE(freed.initialized());
  EXPECT_TRUE(g_calls.empty());
  never_set.Free();
  set_to_null.Free();
  without_destructor.Free();
}

// Slots handed out later have higher indices, and a pass walks from the highest index
// down: a value stored by a destructor into a higher slot waits for the next pass.
ThreadLocalStorage::StaticSlot g_low_slot;
ThreadLocalStorage::StaticSlot g_high_slot;
int g_stored_by_destructor = 0;

void DestroyLowAndStoreHigh(void* value) {
  Record("low", value);
  g_high_slot.Set(&g_stored_by_destructor);
}

void DestroyHigh(void* value) {
  Record("high", value);
}

TEST(ThreadLocalStorageTest, ValueStoredByADestructorIsDestroyedInTheNextPass) {
  g_calls.clear();
  ASSERT_TRUE(g_low_slot.Initialize(DestroyLowAndStoreHigh));
  ASSERT_TRUE(g_high_slot.Initialize(DestroyHigh));
  int value = 0;
  DWORD worker_id = 0;
  ASSERT_TRUE(test::RunOnNewThread([&] {
    worker_id = ::GetCurrentThreadId();
    g_low_slot.Set(&value);
  }));
  ASSERT_EQ(2u, g_calls.size());
  EXPECT_STREQ("low", g_calls[0].destructor);
  EXPECT_EQ(&value, g_calls[0].value);
  EXPECT_STREQ("high", g_calls[1].destructor);
  EXPECT_EQ(&g_stored_by_destructor, g_calls[1].value);
  EXPECT_EQ(worker_id, g_calls[1].thread_id);
  g_low_slot.Free();
  g_high_slot.Free();
}

ThreadLocalStorage::StaticSlot g_restoring_slot;

void DestroyAndStoreAgain(void* value) {
  Record("restoring", value);
  g_restoring_slot.Set(value);
}

TEST(ThreadLocalStorageTest, DestructorThatAlwaysStoresAgainRunsAtMostSixtyFourTimes) {
  g_calls.clear();
  ASSERT_TRUE(g_restoring_slot.Initialize(DestroyAndStoreAgain));
  int value = 0;
  ASSERT_TRUE(test::RunOnNewThread([&] { g_restoring_slot.Set(&value); }));
  EXPECT_EQ(static_cast<size_t>(ThreadLocalStorage::kMaxDestructorPasses), g_calls.size());
  g_restoring_slot.Free();
}

TEST(ThreadLocalStorageTest, OnlySixtyThreeSlotsExistPerProcess) {
  unsigned long exit_code = 1;
  ASSERT_TRUE(test::RunChildTest(kChildExhaustsSlots, test::kDeadlineMs, &exit_code));
  EXPECT_EQ(0u, exit_code);
}

TEST(ThreadLocalStorageTest, MainThreadValuesAreDestroyedAtProcessExit) {
  if (test::RunningUnderWine())
    GTEST_SKIP() << "Wine 8 calls no TLS callback of the executable at process detach";
  std::wstring event_name = test::UniqueWideName(L"tls-process-exit-");
  base::win::ScopedHandle exit_event(::CreateEventW(nullptr, TRUE, FALSE, event_name.c_str()));
  ASSERT_TRUE(exit_event.IsValid());
  ASSERT_TRUE(::SetEnvironmentVariableW(kExitEventVariable, event_name.c_str()));
  unsigned long exit_code = 1;
  ASSERT_TRUE(test::RunChildTest(kChildSetsMainThreadValue, test::kDeadlineMs, &exit_code));
  EXPECT_EQ(0u, exit_code);
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(exit_event.Get(), 0));
}

// Run in a fresh process only: nothing else there has taken a slot.
TEST(ThreadLocalStorageChild, DISABLED_HandsOutSixtyThreeSlots) {
  std::vector<ThreadLocalStorage::StaticSlot> slots(ThreadLocalStorage::kThreadLocalStorageSize);
  int handed_out = 0;
  while (handed_out < ThreadLocalStorage::kThreadLocalStorageSize &&
         slots[handed_out].Initialize(RecordFirst))
    ++handed_out;
  EXPECT_EQ(ThreadLocalStorage::kThreadLocalStorageSize - 1, handed_out);
  EXPECT_FALSE(slots[handed_out].initialized());
  EXPECT_FALSE(slots[handed_out].Initialize(nullptr));
  // Every slot handed out works, the last one included.
  int values[ThreadLocalStorage::kThreadLocalStorageSize];
  for (int i = 0; i < handed_out; ++i)
    slots[i].Set(&values[i]);
  for (int i = 0; i < handed_out; ++i)
    EXPECT_EQ(&values[i], slots[i].Get());
  // Threads ending now must not walk beyond the array either.
  g_calls.clear();
  ASSERT_TRUE(test::RunOnNewThread([&] { slots[handed_out - 1].Set(&values[0]); }));
  ASSERT_EQ(1u, g_calls.size());
  for (int i = 0; i < handed_out; ++i)
    slots[i].Set(nullptr);
}

// Signals the event named by its value, then frees the name.
void SignalNamedEvent(void* value) {
  std::wstring* name = static_cast<std::wstring*>(value);
  base::win::ScopedHandle event(::OpenEventW(EVENT_MODIFY_STATE, FALSE, name->c_str()));
  ::SetEvent(event.Get());
  delete name;
}

ThreadLocalStorage::StaticSlot g_exit_slot;

// Run as a child only: the value is destroyed after the test, as the process exits.
TEST(ThreadLocalStorageChild, DISABLED_SetsMainThreadValue) {
  wchar_t name[MAX_PATH] = {};
  ASSERT_NE(0u, ::GetEnvironmentVariableW(kExitEventVariable, name, MAX_PATH));
  ASSERT_TRUE(g_exit_slot.Initialize(SignalNamedEvent));
  g_exit_slot.Set(new std::wstring(name));
}

}  // namespace
