// Validity flags and their owners.
#include "base/memory/weak_ptr.h"

namespace base {
namespace internal {

WeakReference::Flag::Flag() : is_valid_(true) {}

WeakReference::Flag::~Flag() {}

void WeakReference::Flag::Invalidate() {
  DCHECK(thread_checker_.CalledOnValidThread()) << "weak pointers invalidated off their thread";
  is_valid_ = false;
}

bool WeakReference::Flag::IsValid() const {
  DCHECK(thread_checker_.CalledOnValidThread()) << "weak pointer read off its thread";
  return is_valid_;
}

void WeakReference::Flag::DetachFromThread() {
  thread_checker_.DetachFromThread();
}

WeakReference::WeakReference() {}

WeakReference::WeakReference(const Flag* flag) : flag_(flag) {}

WeakReference::~WeakReference() {}

bool WeakReference::is_valid() const {
  return flag_ && flag_->IsValid();
}

WeakReferenceOwner::WeakReferenceOwner() {}

WeakReferenceOwner::~WeakReferenceOwner() {
  Invalidate();
}

WeakReference WeakReferenceOwner::GetRef() const {
  // With no weak reference out, nobody can tell an old flag from a fresh one, so a fresh
  // one revalidates an owner invalidated before.
  if (!HasRefs())
    flag_ = new WeakReference::Flag();
  return WeakReference(flag_.get());
}

bool WeakReferenceOwner::HasRefs() const {
  return flag_ && !flag_->HasOneRef();
}

void WeakReferenceOwner::Invalidate() {
  if (flag_) {
    flag_->Invalidate();
    flag_ = nullptr;
  }
}

void WeakReferenceOwner::DetachFromThread() {
  if (flag_)
    flag_->DetachFromThread();
}

WeakPtrBase::WeakPtrBase() {}

WeakPtrBase::WeakPtrBase(const WeakReference& ref) : ref_(ref) {}

WeakPtrBase::~WeakPtrBase() {}

}  // namespace internal
}  // namespace base
