// ObserverVector: the observer list of every notifier in the runtime. Observers may be added
// and removed, and the vector itself destroyed, while a notification pass is under way.
#ifndef BASE_OBSERVER_LIST_H_
#define BASE_OBSERVER_LIST_H_

#include <algorithm>
#include <cstddef>
#include <limits>
#include <vector>

#include "base/memory/weak_ptr.h"

// Removal during a pass nulls the entry in place, so that the pass neither skips nor repeats
// anyone; the nulls are erased when the outermost pass ends. Passes may nest.
// Used on one thread only.
template <class ObserverType>
class ObserverVector {
 public:
  enum NotificationType {
    // Observers added during a pass are called in that pass too.
    NOTIFY_ALL,
    // Only the observers present when the pass began are called.
    NOTIFY_EXISTING_ONLY
  };

  // One notification pass. It ends early when the vector is destroyed during a call.
  class Iterator {
   public:
    explicit Iterator(ObserverVector<ObserverType>& list)
        : list_ref_(list.weak_owner_.GetRef()),
          list_(&list),
          index_(0),
          max_index_(list.type_ == NOTIFY_ALL ? std::numeric_limits<size_t>::max()
                                              : list.observers_.size()) {
      ++list_->notify_depth_;
    }

    ~Iterator() {
      if (list_ref_.is_valid() && --list_->notify_depth_ == 0)
        list_->Compact();
    }

    // The next observer of the pass, or null at its end.
    ObserverType* GetNext() {
      if (!list_ref_.is_valid())
        return nullptr;
      const std::vector<ObserverType*>& observers = list_->observers_;
      size_t max_index = std::min(max_index_, observers.size());
      while (index_ < max_index && !observers[index_])
        ++index_;
      return index_ < max_index ? observers[index_++] : nullptr;
    }

   private:
    Iterator(const Iterator&) = delete;
    Iterator& operator=(const Iterator&) = delete;

    base::internal::WeakReference list_ref_;
    ObserverVector<ObserverType>* list_;  // only valid while list_ref_ is
    size_t index_;
    size_t max_index_;
  };

  ObserverVector() : notify_depth_(0), type_(NOTIFY_ALL) {}
  explicit ObserverVector(NotificationType type) : notify_depth_(0), type_(type) {}

  // Appends |obs| unless it is null or already present.
  void AddObserver(ObserverType* obs) {
    if (!obs || HasObserver(obs))
      return;
    observers_.push_back(obs);
  }

  // Does nothing when |obs| is absent.
  void RemoveObserver(ObserverType* obs) {
    typename std::vector<ObserverType*>::iterator it =
        std::find(observers_.begin(), observers_.end(), obs);
    if (!obs || it == observers_.end())
      return;
    if (notify_depth_)
      *it = nullptr;
    else
      observers_.erase(it);
  }

  bool HasObserver(ObserverType* obs) const {
    return std::find(observers_.begin(), observers_.end(), obs) != observers_.end();
  }

  void Clear() {
    if (notify_depth_)
      std::fill(observers_.begin(), observers_.end(), nullptr);
    else
      observers_.clear();
  }

  // Entries, counting those removed during a pass that is still going on.
  size_t size() const { return observers_.size(); }
  bool might_have_observers() const { return size() != 0; }

 private:
  ObserverVector(const ObserverVector&) = delete;
  ObserverVector& operator=(const ObserverVector&) = delete;

  void Compact() {
    observers_.erase(std::remove(observers_.begin(), observers_.end(), nullptr),
                     observers_.end());
  }

  base::internal::WeakReferenceOwner weak_owner_;  // tells a pass that the vector died
  std::vector<ObserverType*> observers_;
  int notify_depth_;
  NotificationType type_;
};

// Calls observer->func on every observer of |observer_list| in one pass, e.g.
// FOR_EACH_OBSERVER(TaskObserver, task_observers_, WillProcessTask(pending_task));
#define FOR_EACH_OBSERVER(ObserverType, observer_list, func)                    \
  do {                                                                          \
    if ((observer_list).might_have_observers()) {                               \
      ObserverVector<ObserverType>::Iterator it_inside_observer_macro(observer_list); \
      ObserverType* obs;                                                        \
      while ((obs = it_inside_observer_macro.GetNext()) != nullptr)             \
        obs->func;                                                              \
    }                                                                           \
  } while (0)

#endif  // BASE_OBSERVER_LIST_H_
