// Bind: how each kind of receiver and argument is held, passed and released.
#include "base/bind.h"

#include <gtest/gtest.h>

#include <string>

#include "base/bind_helpers.h"
#include "base/callback.h"
#include "base/memory/ref_counted.h"
#include "base/memory/scoped_ptr.h"
#include "base/memory/weak_ptr.h"
#include "support/delete_counter.h"
#include "support/fatal_check.h"

namespace {

using test::DeleteCounter;

// A receiver whose reference count the test reads directly. It is never deleted through
// the count; the test owns it on the stack.
class CountingReceiver {
 public:
  CountingReceiver() : ref_count_(0), calls_(0), value_(0) {}

  void AddRef() const { ++ref_count_; }
  void Release() const { --ref_count_; }
  int ref_count() const { return ref_count_; }
  int calls() const { return calls_; }
  int value() const { return value_; }

  void Increment() { ++calls_; }
  void Set(int value) { value_ = value; }
  int GetPlus(int addend) const { return value_ + addend; }
  // Concatenates the digits so that the test sees the argument order.
  int Digits6(int a, int b, int c, int d, int e, int f) {
    ++calls_;
    return ((((a * 10 + b) * 10 + c) * 10 + d) * 10 + e) * 10 + f;
  }

 private:
  mutable int ref_count_;
  int calls_;
  int value_;
};

// Counts copies, to tell a stored copy passed by reference from a fresh copy per run.
class CopyCounter {
 public:
  explicit CopyCounter(int* copies) : copies_(copies) {}
  CopyCounter(const CopyCounter& other) : copies_(other.copies_) { ++*copies_; }
  CopyCounter& operator=(const CopyCounter&) = delete;

 private:
  int* copies_;
};

// A real thread-safe ref-counted receiver that reports its deletion.
class Deletable : public base::RefCountedThreadSafe<Deletable> {
 public:
  explicit Deletable(bool* deleted) : deleted_(deleted) {}
  void Touch() {}

 private:
  friend class base::RefCountedThreadSafe<Deletable>;
  ~Deletable() { *deleted_ = true; }

  bool* deleted_;
};

// A receiver reached through weak pointers only.
class WeakTarget : public base::SupportsWeakPtr<WeakTarget> {
 public:
  WeakTarget() : calls_(0) {}
  int calls() const { return calls_; }

  void Increment() { ++calls_; }
  void TakeOwnership(scoped_ptr<DeleteCounter> counter) {
    ++calls_;
    counter.reset();
  }

 private:
  int calls_;
};

enum Color { RED = 1, GREEN = 2 };

int g_plain_calls = 0;
void PlainNoArguments() { ++g_plain_calls; }
int Add(int a, int b) { return a + b; }
int Digits6(int a, int b, int c, int d, int e, int f) {
  return ((((a * 10 + b) * 10 + c) * 10 + d) * 10 + e) * 10 + f;
}
size_t Length(const std::string& text) { return text.size(); }
const std::string* AddressOf(const std::string& text) { return &text; }
int ColorValue(Color color) { return color; }
void StoreThrough(int* out, int value) { *out = value; }
void CopyByValue(CopyCounter) {}
void CopyByReference(const CopyCounter&) {}
int RefCountOf(CountingReceiver* receiver) { return receiver->ref_count(); }
int RefCountOfHeld(const scoped_refptr<CountingReceiver>& receiver) {
  return receiver->ref_count();
}
DeleteCounter* Identity(DeleteCounter* counter) { return counter; }
void Destroy(scoped_ptr<DeleteCounter> counter) { counter.reset(); }
void RunTwice(const base::Closure& closure) {
  closure.Run();
  closure.Run();
}
void AppendTo(std::string* out, const std::string& text) { *out += text; }

TEST(BindTest, PlainFunctions) {
  g_plain_calls = 0;
  base::Closure closure = base::Bind(&PlainNoArguments);
  closure.Run();
  closure.Run();
  EXPECT_EQ(2, g_plain_calls);

  EXPECT_EQ(5, base::Bind(&Add, 2, 3).Run());
}

TEST(BindTest, PartialApplicationBindsLeadingArgumentsFirst) {
  base::Callback<int(int, int, int)> three_left = base::Bind(&Digits6, 1, 2, 3);
  EXPECT_EQ(123456, three_left.Run(4, 5, 6));

  base::Callback<int(int, int, int, int, int, int)> none_bound = base::Bind(&Digits6);
  EXPECT_EQ(654321, none_bound.Run(6, 5, 4, 3, 2, 1));

  base::Callback<int(int)> add_two = base::Bind(&Add, 2);
  EXPECT_EQ(9, add_two.Run(7));

  std::string text;
  base::Callback<void(const std::string&)> append = base::Bind(&AppendTo, &text);
  append.Run("ab");
  append.Run("cd");
  EXPECT_EQ("abcd", text);
}

TEST(BindTest, MethodsWithSixArgumentsBoundAndUnbound) {
  CountingReceiver receiver;
  base::Callback<int(int, int)> four_bound =
      base::Bind(&CountingReceiver::Digits6, &receiver, 9, 8, 7, 6);
  EXPECT_EQ(987654, four_bound.Run(5, 4));

  EXPECT_EQ(123456, base::Bind(&CountingReceiver::Digits6, &receiver, 1, 2, 3, 4, 5, 6).Run());
  EXPECT_EQ(2, receiver.calls());

  // The receiver itself may stay unbound.
  base::Callback<void(CountingReceiver*, int)> set = base::Bind(&CountingReceiver::Set);
  set.Run(&receiver, 17);
  EXPECT_EQ(17, receiver.value());
}

TEST(BindTest, RawReceiverHoldsOneReferenceWhileTheStateLives) {
  CountingReceiver receiver;
  {
    base::Closure closure = base::Bind(&CountingReceiver::Increment, &receiver);
    EXPECT_EQ(1, receiver.ref_count());

    base::Closure copy = closure;  // copies share the state and its one reference
    EXPECT_EQ(1, receiver.ref_count());

    closure.Run();
    copy.Run();
    EXPECT_EQ(2, receiver.calls());
    EXPECT_EQ(1, receiver.ref_count());

    closure.Reset();
    EXPECT_EQ(1, receiver.ref_count());
  }
  EXPECT_EQ(0, receiver.ref_count());
}

TEST(BindTest, ConstMethodOnConstReceiver) {
  CountingReceiver receiver;
  receiver.Set(40);
  const CountingReceiver* const_receiver = &receiver;
  base::Callback<int(int)> get_plus = base::Bind(&CountingReceiver::GetPlus, const_receiver);
  EXPECT_EQ(1, receiver.ref_count());
  EXPECT_EQ(42, get_plus.Run(2));
}

TEST(BindTest, StateReleasingTheLastReferenceDeletesTheReceiver) {
  bool deleted = false;
  base::Closure closure;
  {
    scoped_refptr<Deletable> receiver(new Deletable(&deleted));
    closure = base::Bind(&Deletable::Touch, receiver.get());
  }
  EXPECT_FALSE(deleted);
  closure.Run();
  EXPECT_FALSE(deleted);
  closure.Reset();
  EXPECT_TRUE(deleted);
}

TEST(BindTest, UnretainedReceiverAndArgumentTakeNoReference) {
  CountingReceiver receiver;
  base::Closure closure = base::Bind(&CountingReceiver::Increment, base::Unretained(&receiver));
  EXPECT_EQ(0, receiver.ref_count());
  closure.Run();
  EXPECT_EQ(1, receiver.calls());

  EXPECT_EQ(0, base::Bind(&RefCountOf, base::Unretained(&receiver)).Run());
}

TEST(BindTest, RawPointerArgumentIsCopiedWithoutReference) {
  CountingReceiver receiver;
  base::Callback<int()> ref_count = base::Bind(&RefCountOf, &receiver);
  EXPECT_EQ(0, receiver.ref_count());
  EXPECT_EQ(0, ref_count.Run());

  int out = 0;
  base::Bind(&StoreThrough, &out, 7).Run();
  EXPECT_EQ(7, out);
}

TEST(BindTest, ScopedRefptrArgumentIsHeldAndPassedAsRawPointer) {
  CountingReceiver receiver;
  {
    base::Callback<int()> as_raw = base::Bind(&RefCountOf, scoped_refptr<CountingReceiver>(&receiver));
    EXPECT_EQ(1, receiver.ref_count());
    EXPECT_EQ(1, as_raw.Run());

    // A function that takes the holder gets one made for the call.
    scoped_refptr<CountingReceiver> held(&receiver);
    base::Callback<int()> as_holder = base::Bind(&RefCountOfHeld, held);
    EXPECT_EQ(3, receiver.ref_count());
    EXPECT_EQ(4, as_holder.Run());
    EXPECT_EQ(3, receiver.ref_count());
  }
  EXPECT_EQ(0, receiver.ref_count());
}

TEST(BindTest, ScopedRefptrReceiverIsHeld) {
  CountingReceiver receiver;
  {
    base::Closure closure =
        base::Bind(&CountingReceiver::Increment, scoped_refptr<CountingReceiver>(&receiver));
    EXPECT_EQ(1, receiver.ref_count());
    closure.Run();
  }
  EXPECT_EQ(1, receiver.calls());
  EXPECT_EQ(0, receiver.ref_count());
}

TEST(BindTest, OwnedArgumentDiesWithTheState) {
  int deletes = 0;
  DeleteCounter* counter = new DeleteCounter(&deletes);
  {
    base::Callback<DeleteCounter*()> identity = base::Bind(&Identity, base::Owned(counter));
    EXPECT_EQ(counter, identity.Run());
    EXPECT_EQ(counter, identity.Run());
    base::Callback<DeleteCounter*()> copy = identity;
    identity.Reset();
    EXPECT_EQ(0, deletes);
  }
  EXPECT_EQ(1, deletes);
}

TEST(BindTest, PassedOwnerMovesIntoTheCall) {
  int deletes = 0;
  scoped_ptr<DeleteCounter> counter(new DeleteCounter(&deletes));
  base::Closure destroy = base::Bind(&Destroy, base::Passed(&counter));
  EXPECT_FALSE(counter);
  EXPECT_EQ(0, deletes);
  destroy.Run();
  EXPECT_EQ(1, deletes);
  destroy.Reset();
  EXPECT_EQ(1, deletes);
}

TEST(BindTest, PassedOwnerNeverRunIsDeletedWithTheState) {
  int deletes = 0;
  {
    base::Closure destroy =
        base::Bind(&Destroy, base::Passed(scoped_ptr<DeleteCounter>(new DeleteCounter(&deletes))));
    EXPECT_EQ(0, deletes);
  }
  EXPECT_EQ(1, deletes);
}

TEST(BindDeathTest, SecondRunOfPassedCallbackFailsTheCheck) {
  int deletes = 0;
  base::Closure destroy = base::Bind(
      &Destroy, base::Passed(scoped_ptr<DeleteCounter>(new DeleteCounter(&deletes))));
  destroy.Run();
  // A crash by the unhandled breakpoint ends the process with the breakpoint's code.
  EXPECT_EXIT(destroy.Run(), testing::ExitedWithCode(test::kFailedCheckExitCode),
              "bind_helpers\\.h\\(380\\)\\] Check failed: is_valid_\\. ");
}

TEST(BindTest, WeakReceiverIsCalledWhileValid) {
  WeakTarget target;
  base::Closure closure = base::Bind(&WeakTarget::Increment, target.AsWeakPtr());
  closure.Run();
  closure.Run();
  EXPECT_EQ(2, target.calls());
}

TEST(BindTest, InvalidatedWeakReceiverTouchesNothing) {
  int deletes = 0;
  base::Closure closure;
  {
    WeakTarget target;
    closure = base::Bind(&WeakTarget::TakeOwnership, target.AsWeakPtr(),
                         base::Passed(scoped_ptr<DeleteCounter>(new DeleteCounter(&deletes))));
  }
  // Skipped runs leave the passed object in the state: not consumed, no failed check.
  closure.Run();
  closure.Run();
  EXPECT_EQ(0, deletes);
  closure.Reset();
  EXPECT_EQ(1, deletes);
}

TEST(BindTest, NullWeakReceiverIsSkipped) {
  int deletes = 0;
  base::Closure closure =
      base::Bind(&WeakTarget::TakeOwnership, base::WeakPtr<WeakTarget>(),
                 base::Passed(scoped_ptr<DeleteCounter>(new DeleteCounter(&deletes))));
  // A call would have taken the passed object and deleted it.
  closure.Run();
  EXPECT_EQ(0, deletes);
  closure.Reset();
  EXPECT_EQ(1, deletes);
}

TEST(BindTest, PlainArgumentsAreCopiedOnceAndPassedAsDeclared) {
  std::string original = "hello";
  base::Callback<size_t()> length = base::Bind(&Length, original);
  original = "changed after binding";
  EXPECT_EQ(5u, length.Run());

  // A const-reference parameter sees the state's own copy, the same one every run.
  base::Callback<const std::string*()> address = base::Bind(&AddressOf, original);
  EXPECT_NE(&original, address.Run());
  EXPECT_EQ(address.Run(), address.Run());

  EXPECT_EQ(2, base::Bind(&ColorValue, GREEN).Run());

  int copies = 0;
  CopyCounter counter(&copies);
  base::Closure by_reference = base::Bind(&CopyByReference, counter);
  EXPECT_EQ(1, copies);
  by_reference.Run();
  by_reference.Run();
  EXPECT_EQ(1, copies);

  base::Closure by_value = base::Bind(&CopyByValue, counter);
  EXPECT_EQ(2, copies);
  by_value.Run();
  by_value.Run();
  EXPECT_EQ(4, copies);

  base::Closure copied_callback = by_reference;
  EXPECT_EQ(4, copies);  // copying a callback copies no bound value
}

TEST(BindTest, CallbackArgumentSharesItsState) {
  CountingReceiver receiver;
  base::Closure inner = base::Bind(&CountingReceiver::Increment, &receiver);
  base::Closure outer = base::Bind(&RunTwice, inner);
  inner.Reset();
  EXPECT_EQ(1, receiver.ref_count());
  outer.Run();
  EXPECT_EQ(2, receiver.calls());
  outer.Reset();
  EXPECT_EQ(0, receiver.ref_count());
}

}  // namespace
