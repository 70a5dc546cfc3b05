// Diagnostic lines and invariant checks of the runtime: LOG(severity) << ..., CHECK(cond),
// CHECK_EQ(a, b) and their debug-only DCHECK forms. Lines go to the debugger output and stderr.
#ifndef BASE_LOGGING_H_
#define BASE_LOGGING_H_

#include <cstddef>
#include <ostream>
#include <sstream>
#include <string>

namespace logging {

typedef int LogSeverity;

const LogSeverity LOG_INFO = 0;
const LogSeverity LOG_WARNING = 1;
const LogSeverity LOG_ERROR = 2;
const LogSeverity LOG_ERROR_REPORT = 3;
const LogSeverity LOG_FATAL = 4;
const LogSeverity LOG_NUM_SEVERITIES = 5;
// wingdi.h defines ERROR as 0, so LOG(ERROR) arrives in the macros below as LOG(0).
const LogSeverity LOG_0 = LOG_ERROR;

// The settings are fixed for the life of the process, so the minimum severity is a constant.
// The macros compare against it directly: the compiler then folds the test away and, even
// without optimisation, knows that LOG(FATAL) does not return.
const LogSeverity kMinLogLevel = LOG_INFO;
inline constexpr LogSeverity GetMinLogLevel() { return kMinLogLevel; }

// One log line, built on the caller's stack and written out when the object dies, with one
// call per output so that lines of different threads never mix; any thread may log. The
// thread's last error is the same after the statement as before it. A FATAL message never
// returns: the process ends through a breakpoint.
class LogMessage {
 public:
  LogMessage(const char* file, int line, LogSeverity severity);

  // A FATAL "Check failed: " line for a failed comparison check. Takes ownership of
  // |result|, the text the check built on the heap.
  LogMessage(const char* file, int line, std::string* result);

  ~LogMessage();

  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;

  std::ostream& stream() { return stream_; }

 protected:
  // Finishes the line and writes it to both outputs; answers the line.
  std::string WriteOut();

  // Keeps the start of |line| in the crash dump and breaks into the debugger.
  [[noreturn]] static void EndProcess(const std::string& line);

 private:
  void Init(const char* file, int line);

  LogSeverity severity_;
  std::ostringstream stream_;
  size_t message_start_;       // length of the prefix within stream_
  unsigned long last_error_;   // GetLastError() at construction
};

// The FATAL message the macros make: same line, but the compiler knows the statement does
// not return, so a failed CHECK or LOG(FATAL) may end a function that returns a value.
class LogMessageFatal : public LogMessage {
 public:
  LogMessageFatal(const char* file, int line) : LogMessage(file, line, LOG_FATAL) {}
  LogMessageFatal(const char* file, int line, std::string* result)
      : LogMessage(file, line, result) {}
  [[noreturn]] ~LogMessageFatal();
};

// Turns "stream << ..." into a void expression so that it can stand in a conditional.
// operator& binds more loosely than << and more tightly than ?:.
class LogMessageVoidify {
 public:
  void operator&(std::ostream&) {}
};

// The outcome of a comparison check: empty when it held, otherwise the heap text
// "a op b (va vs. vb)" for LogMessage.
class CheckOpResult {
 public:
  CheckOpResult() : message_(nullptr) {}
  explicit CheckOpResult(std::string* message) : message_(message) {}
  explicit operator bool() const { return message_ == nullptr; }
  std::string* message() const { return message_; }

 private:
  std::string* message_;
};

template <class T1, class T2>
std::string* MakeCheckOpString(const T1& v1, const T2& v2, const char* names) {
  std::ostringstream text;
  text << names << " (" << v1 << " vs. " << v2 << ")";
  return new std::string(text.str());
}

#define LOGGING_DEFINE_CHECK_OP_IMPL(name, op)                                        \
  template <class T1, class T2>                                                       \
  inline CheckOpResult Check##name##Impl(const T1& v1, const T2& v2, const char* names) { \
    if (v1 op v2)                                                                     \
      return CheckOpResult();                                                         \
    return CheckOpResult(MakeCheckOpString(v1, v2, names));                           \
  }
LOGGING_DEFINE_CHECK_OP_IMPL(EQ, ==)
LOGGING_DEFINE_CHECK_OP_IMPL(NE, !=)
LOGGING_DEFINE_CHECK_OP_IMPL(LE, <=)
LOGGING_DEFINE_CHECK_OP_IMPL(LT, <)
LOGGING_DEFINE_CHECK_OP_IMPL(GE, >=)
LOGGING_DEFINE_CHECK_OP_IMPL(GT, >)
#undef LOGGING_DEFINE_CHECK_OP_IMPL

}  // namespace logging

// Wide text in a log stream is written as UTF-8. These live in the global namespace, like
// the stream operators of the standard library they extend.
std::ostream& operator<<(std::ostream& out, const wchar_t* wide);
std::ostream& operator<<(std::ostream& out, const std::wstring& wide);

#define LOG_MESSAGE_STREAM_INFO ::logging::LogMessage(__FILE__, __LINE__, ::logging::LOG_INFO)
#define LOG_MESSAGE_STREAM_WARNING \
  ::logging::LogMessage(__FILE__, __LINE__, ::logging::LOG_WARNING)
#define LOG_MESSAGE_STREAM_ERROR ::logging::LogMessage(__FILE__, __LINE__, ::logging::LOG_ERROR)
#define LOG_MESSAGE_STREAM_ERROR_REPORT \
  ::logging::LogMessage(__FILE__, __LINE__, ::logging::LOG_ERROR_REPORT)
#define LOG_MESSAGE_STREAM_FATAL ::logging::LogMessageFatal(__FILE__, __LINE__)
#define LOG_MESSAGE_STREAM_0 LOG_MESSAGE_STREAM_ERROR

#define LOG_STREAM(severity) LOG_MESSAGE_STREAM_##severity.stream()
#define LOG_IS_ON(severity) (::logging::LOG_##severity >= ::logging::kMinLogLevel)

// The stream is only built, and its insertions only evaluated, when |condition| holds.
#define LAZY_STREAM(stream, condition) \
  !(condition) ? (void)0 : ::logging::LogMessageVoidify() & (stream)

#define LOG(severity) LAZY_STREAM(LOG_STREAM(severity), LOG_IS_ON(severity))
#define LOG_IF(severity, condition) \
  LAZY_STREAM(LOG_STREAM(severity), LOG_IS_ON(severity) && (condition))

// Verbose lines at severity -level: below the minimum, so never built in this system.
#define VLOG_IS_ON(level) (-(level) >= ::logging::kMinLogLevel)
#define VLOG(level)                                                           \
  LAZY_STREAM(::logging::LogMessage(__FILE__, __LINE__, -(level)).stream(), \
              VLOG_IS_ON(level))

// Checks hold in every build and ignore the minimum severity.
#define CHECK(condition) \
  LAZY_STREAM(LOG_STREAM(FATAL), !(condition)) << "Check failed: " #condition ". "

// The if/else shape keeps a caller's own "else" bound to the caller's "if".
#define CHECK_OP(name, op, val1, val2)                                          \
  if (::logging::CheckOpResult logging_check_result =                           \
          ::logging::Check##name##Impl((val1), (val2), #val1 " " #op " " #val2)) { \
  } else                                                                        \
    ::logging::LogMessageFatal(__FILE__, __LINE__, logging_check_result.message()).stream()

#define CHECK_EQ(val1, val2) CHECK_OP(EQ, ==, val1, val2)
#define CHECK_NE(val1, val2) CHECK_OP(NE, !=, val1, val2)
#define CHECK_LE(val1, val2) CHECK_OP(LE, <=, val1, val2)
#define CHECK_LT(val1, val2) CHECK_OP(LT, <, val1, val2)
#define CHECK_GE(val1, val2) CHECK_OP(GE, >=, val1, val2)
#define CHECK_GT(val1, val2) CHECK_OP(GT, >, val1, val2)

#if defined(NDEBUG) && !defined(DCHECK_ALWAYS_ON)
#define DCHECK_IS_ON() 0
#else
#define DCHECK_IS_ON() 1
#endif

// Debug-only forms. In release builds their code is still compiled, so it stays
// type-checked and its variables count as used, but it never runs.
#if DCHECK_IS_ON()
#define DLOG(severity) LOG(severity)
#define DLOG_IF(severity, condition) LOG_IF(severity, condition)
#define DCHECK(condition) CHECK(condition)
#define DCHECK_OP(name, op, val1, val2) CHECK_OP(name, op, val1, val2)
#else
#define DLOG(severity) while (false) LOG(severity)
#define DLOG_IF(severity, condition) while (false) LOG_IF(severity, condition)
#define DCHECK(condition) while (false) CHECK(condition)
#define DCHECK_OP(name, op, val1, val2) while (false) CHECK_OP(name, op, val1, val2)
#endif

#define DCHECK_EQ(val1, val2) DCHECK_OP(EQ, ==, val1, val2)
#define DCHECK_NE(val1, val2) DCHECK_OP(NE, !=, val1, val2)
#define DCHECK_LE(val1, val2) DCHECK_OP(LE, <=, val1, val2)
#define DCHECK_LT(val1, val2) DCHECK_OP(LT, <, val1, val2)
#define DCHECK_GE(val1, val2) DCHECK_OP(GE, >=, val1, val2)
#define DCHECK_GT(val1, val2) DCHECK_OP(GT, >, val1, val2)

#define NOTREACHED() DCHECK(false)

#endif  // BASE_LOGGING_H_
