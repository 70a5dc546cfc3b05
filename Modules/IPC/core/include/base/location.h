// Where a task was posted from: function, file, line and the caller's program counter.
#ifndef BASE_LOCATION_H_
#define BASE_LOCATION_H_

namespace tracked_objects {

// A small value copied into every posted task. The strings are static literals of the
// posting site and are never owned or copied.
class Location {
 public:
  Location(const char* function_name,
           const char* file_name,
           int line_number,
           const void* program_counter);

  // "Unknown", "Unknown", -1, no program counter.
  Location();

  const char* function_name() const { return function_name_; }
  const char* file_name() const { return file_name_; }
  int line_number() const { return line_number_; }
  const void* program_counter() const { return program_counter_; }

 private:
  const char* function_name_;
  const char* file_name_;
  int line_number_;
  const void* program_counter_;
};

// The return address of this call, i.e. an address inside the posting function.
const void* GetProgramCounter();

}  // namespace tracked_objects

// The posting site with an explicit function name, e.g.
// FROM_HERE_WITH_FUNCTION("base::Thread::StopSoon"); GCC's __FUNCTION__ carries no class.
#define FROM_HERE_WITH_FUNCTION(function_name)                                \
  ::tracked_objects::Location(function_name, __FILE__, __LINE__,             \
                              ::tracked_objects::GetProgramCounter())

// The posting site named by the compiler.
#define FROM_HERE FROM_HERE_WITH_FUNCTION(__FUNCTION__)

#endif  // BASE_LOCATION_H_
