// An object that counts its destructions, for tests of owners and bound arguments.
#ifndef SUPPORT_DELETE_COUNTER_H_
#define SUPPORT_DELETE_COUNTER_H_

namespace test {

class DeleteCounter {
 public:
  explicit DeleteCounter(int* deletes) : deletes_(deletes) {}
  ~DeleteCounter() { ++*deletes_; }

  DeleteCounter(const DeleteCounter&) = delete;
  DeleteCounter& operator=(const DeleteCounter&) = delete;

 private:
  int* deletes_;
};

}  // namespace test

#endif  // SUPPORT_DELETE_COUNTER_H_
