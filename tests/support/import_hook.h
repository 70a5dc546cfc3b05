// Redirects one imported function of the test program, so that a test sees exactly what the
// code under test asks of the system.
#ifndef SUPPORT_IMPORT_HOOK_H_
#define SUPPORT_IMPORT_HOOK_H_

namespace test {

// While it lives, calls the program's own code makes to |dll|!|function| through its import
// table go to |replacement|. Not for functions another thread may be calling as it is made
// or destroyed.
class ImportHook {
 public:
  ImportHook(const char* dll, const char* function, void* replacement);
  ~ImportHook();

  bool installed() const { return slot_ != nullptr; }
  // What the slot held before: the function itself.
  void* original() const { return original_; }

 private:
  static void Write(void** slot, void* value);

  void** slot_;
  void* original_;

  ImportHook(const ImportHook&) = delete;
  ImportHook& operator=(const ImportHook&) = delete;
};

}  // namespace test

#endif  // SUPPORT_IMPORT_HOOK_H_
