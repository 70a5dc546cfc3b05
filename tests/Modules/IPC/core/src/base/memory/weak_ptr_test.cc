// Weak references: validity, invalidation, outstanding references and fresh flags.
#include "base/memory/weak_ptr.h"

#include <gtest/gtest.h>

namespace {

struct Base {
  virtual ~Base() {}
};

struct Derived : Base {};

class Target : public base::SupportsWeakPtr<Target> {};

// An object with a factory that it may invalidate while it lives on.
class WithFactory {
 public:
  WithFactory() : weak_factory_(this) {}
  base::WeakPtrFactory<WithFactory>& factory() { return weak_factory_; }

 private:
  base::WeakPtrFactory<WithFactory> weak_factory_;
};

TEST(WeakPtrTest, DefaultIsNull) {
  base::WeakPtr<Target> weak;
  EXPECT_EQ(nullptr, weak.get());
  EXPECT_FALSE(weak);
}

TEST(WeakPtrTest, ReadsNullOnceTheObjectIsGone) {
  base::WeakPtr<Target> weak;
  base::WeakPtr<Target> copy;
  {
    Target target;
    weak = target.AsWeakPtr();
    copy = weak;
    EXPECT_EQ(&target, weak.get());
    EXPECT_EQ(&target, &*copy);
    EXPECT_TRUE(copy);
  }
  EXPECT_EQ(nullptr, weak.get());
  EXPECT_EQ(nullptr, copy.get());
}

TEST(WeakPtrTest, ConvertsToBase) {
  Derived derived;
  base::WeakPtrFactory<Derived> derived_factory(&derived);
  base::WeakPtr<Base> weak = derived_factory.GetWeakPtr();
  EXPECT_EQ(static_cast<Base*>(&derived), weak.get());
  derived_factory.InvalidateWeakPtrs();
  EXPECT_EQ(nullptr, weak.get());
}

TEST(WeakPtrTest, ResetForgetsTheObject) {
  Target target;
  base::WeakPtr<Target> weak = target.AsWeakPtr();
  weak.reset();
  EXPECT_EQ(nullptr, weak.get());
}

TEST(WeakPtrFactoryTest, InvalidateNullsEveryPointerOut) {
  WithFactory object;
  base::WeakPtr<WithFactory> first = object.factory().GetWeakPtr();
  base::WeakPtr<WithFactory> second = object.factory().GetWeakPtr();
  EXPECT_TRUE(object.factory().HasWeakPtrs());

  object.factory().InvalidateWeakPtrs();
  EXPECT_FALSE(first);
  EXPECT_FALSE(second);
  EXPECT_FALSE(object.factory().HasWeakPtrs());

  // New pointers after an invalidation are valid again; the old ones stay null.
  base::WeakPtr<WithFactory> fresh = object.factory().GetWeakPtr();
  EXPECT_EQ(&object, fresh.get());
  EXPECT_FALSE(first);
}

TEST(WeakPtrFactoryTest, HasWeakPtrsFollowsThePointersOut) {
  WithFactory object;
  EXPECT_FALSE(object.factory().HasWeakPtrs());
  {
    base::WeakPtr<WithFactory> weak = object.factory().GetWeakPtr();
    EXPECT_TRUE(object.factory().HasWeakPtrs());
  }
  EXPECT_FALSE(object.factory().HasWeakPtrs());
}

TEST(WeakReferenceOwnerTest, HasRefsAndTheFreshFlag) {
  base::internal::WeakReferenceOwner owner;
  EXPECT_FALSE(owner.HasRefs());

  base::internal::WeakReference held = owner.GetRef();
  EXPECT_TRUE(held.is_valid());
  EXPECT_TRUE(owner.HasRefs());

  // Further references while one is out share its flag.
  base::internal::WeakReference shared = owner.GetRef();
  owner.Invalidate();
  EXPECT_FALSE(held.is_valid());
  EXPECT_FALSE(shared.is_valid());
  EXPECT_FALSE(owner.HasRefs());

  base::internal::WeakReference fresh = owner.GetRef();
  EXPECT_TRUE(fresh.is_valid());
  EXPECT_FALSE(held.is_valid());
}

TEST(WeakReferenceOwnerTest, DroppedReferencesLeaveNoRefs) {
  base::internal::WeakReferenceOwner owner;
  {
    base::internal::WeakReference first = owner.GetRef();
    base::internal::WeakReference second = first;
    EXPECT_TRUE(owner.HasRefs());
  }
  EXPECT_FALSE(owner.HasRefs());
  EXPECT_TRUE(owner.GetRef().is_valid());
}

TEST(WeakReferenceOwnerTest, DestructionInvalidates) {
  base::internal::WeakReference reference;
  EXPECT_FALSE(reference.is_valid());
  {
    base::internal::WeakReferenceOwner owner;
    reference = owner.GetRef();
    EXPECT_TRUE(reference.is_valid());
  }
  EXPECT_FALSE(reference.is_valid());
}

}  // namespace
