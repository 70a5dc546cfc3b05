// Building, writing out and, for FATAL messages, dying on log lines.
#include "base/logging.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <ctime>
#endif

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iomanip>

#include "base/debug/alias.h"
#include "base/debug/debugger.h"
#include "base/utf_string_conversions.h"

namespace logging {

namespace {

const char* const kSeverityNames[LOG_NUM_SEVERITIES] = {"INFO", "WARNING", "ERROR",
                                                        "ERROR_REPORT", "FATAL"};

// How much of a FATAL line is kept on the stack for a crash dump.
const size_t kCrashDumpTextSize = 1024;

// The part after the last backslash or slash, or the whole name.
const char* FileBaseName(const char* file) {
  const char* base_name = file;
  for (const char* p = file; *p; ++p) {
    if (*p == '\\' || *p == '/')
      base_name = p + 1;
  }
  return base_name;
}

void WriteSeverityName(std::ostream& out, LogSeverity severity) {
  if (severity >= 0 && severity < LOG_NUM_SEVERITIES)
    out << kSeverityNames[severity];
  else if (severity < 0)
    out << "VERBOSE" << -severity;
  else
    out << "UNKNOWN";
}

// Local month, day, "/", hour, minute, second, each as two digits.
void WriteTimestamp(std::ostream& out, int month, int day, int hour, int minute, int second) {
  out << std::setfill('0') << std::setw(2) << month << std::setw(2) << day << '/'
      << std::setw(2) << hour << std::setw(2) << minute << std::setw(2) << second
      << std::setfill(' ');
}

#if defined(_WIN32)

unsigned long LastError() { return GetLastError(); }
void RestoreLastError(unsigned long error) { SetLastError(error); }

void WriteLocalTime(std::ostream& out) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  WriteTimestamp(out, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
}

void WriteToDebugger(const std::string& line) { OutputDebugStringA(line.c_str()); }

#else  // The native build of the platform-free code, for sanitizers and fuzzing.

unsigned long LastError() { return static_cast<unsigned long>(errno); }
void RestoreLastError(unsigned long error) { errno = static_cast<int>(error); }

void WriteLocalTime(std::ostream& out) {
  const time_t seconds = time(nullptr);
  struct tm now = {};
  localtime_r(&seconds, &now);
  WriteTimestamp(out, now.tm_mon + 1, now.tm_mday, now.tm_hour, now.tm_min, now.tm_sec);
}

void WriteToDebugger(const std::string&) {}

#endif

}  // namespace

LogMessage::LogMessage(const char* file, int line, LogSeverity severity)
    : severity_(severity), message_start_(0), last_error_(LastError()) {
  Init(file, line);
}

LogMessage::LogMessage(const char* file, int line, std::string* result)
    : severity_(LOG_FATAL), message_start_(0), last_error_(LastError()) {
  Init(file, line);
  stream_ << "Check failed: " << *result;
  delete result;
  RestoreLastError(last_error_);
}

LogMessage::~LogMessage() {
  const std::string line = WriteOut();
  if (severity_ == LOG_FATAL)
    EndProcess(line);
  RestoreLastError(last_error_);
}

LogMessageFatal::~LogMessageFatal() {
  EndProcess(WriteOut());
}

void LogMessage::Init(const char* file, int line) {
  stream_ << '[';
  WriteLocalTime(stream_);
  stream_ << ':';
  WriteSeverityName(stream_, severity_);
  stream_ << ':' << FileBaseName(file) << '(' << line << ")] ";
  message_start_ = static_cast<size_t>(stream_.tellp());
  // Insertions such as "<< GetLastError()" must see the caller's error, not ours.
  RestoreLastError(last_error_);
}

std::string LogMessage::WriteOut() {
  stream_ << std::endl;
  const std::string line = stream_.str();
  // One call per output, so lines of different threads do not mix within a line.
  WriteToDebugger(line);
  fprintf(stderr, "%s", line.c_str());
  fflush(stderr);
  return line;
}

void LogMessage::EndProcess(const std::string& line) {
  char crash_dump_text[kCrashDumpTextSize];
  const size_t kept = std::min(line.size(), sizeof(crash_dump_text));
  memcpy(crash_dump_text, line.data(), kept);
  base::debug::Alias(crash_dump_text);
  base::debug::BreakDebugger();
}

}  // namespace logging

std::ostream& operator<<(std::ostream& out, const wchar_t* wide) {
  return out << (wide ? base::WideToUTF8(wide) : std::string("(null)"));
}

std::ostream& operator<<(std::ostream& out, const std::wstring& wide) {
  return out << base::WideToUTF8(wide);
}
