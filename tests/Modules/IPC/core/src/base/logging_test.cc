// Log line layout, both outputs, the kept last error, lazy formatting and fatal checks.
#include "base/logging.h"

#include <windows.h>

#include <cstdio>
#include <iomanip>
#include <regex>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "support/child_test_runner.h"
#include "support/debugger_loop.h"
#include "support/fatal_check.h"

namespace {

const int kCapacityReadOnly = -1;

// The stamp a line written at this moment carries: local MMDD/HHMMSS.
std::string LocalStamp() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  std::ostringstream stamp;
  stamp << std::setfill('0') << std::setw(2) << now.wMonth << std::setw(2) << now.wDay << '/'
        << std::setw(2) << now.wHour << std::setw(2) << now.wMinute << std::setw(2)
        << now.wSecond;
  return stamp.str();
}

// Writes one WARNING line from |file| at line 209 and answers what reached stderr, with the
// stamps taken just before and just after.
struct CapturedLine {
  std::string text;
  std::string stamp_before;
  std::string stamp_after;

  bool Is(const std::string& rest) const {
    return text == "[" + stamp_before + ":" + rest || text == "[" + stamp_after + ":" + rest;
  }
};

CapturedLine LogWarningFrom(const char* file, const std::string& message) {
  CapturedLine line;
  testing::internal::CaptureStderr();
  line.stamp_before = LocalStamp();
  logging::LogMessage(file, 209, logging::LOG_WARNING).stream() << message;
  line.stamp_after = LocalStamp();
  line.text = testing::internal::GetCapturedStderr();
  return line;
}

int g_formatted = 0;

std::string CountFormatting() {
  ++g_formatted;
  return "formatted";
}

TEST(LogMessageTest, LineCarriesStampSeverityBareFileNameLineAndText) {
  CapturedLine line = LogWarningFrom("..\\..\\x\\ipc_channel_win.cc", "pipe busy");
  EXPECT_TRUE(line.Is("WARNING:ipc_channel_win.cc(209)] pipe busy\n")) << line.text;
}

TEST(LogMessageTest, FileNameIsCutAfterTheLastSlashOfEitherKind) {
  EXPECT_TRUE(LogWarningFrom("src/base/message_loop.cc", "a").Is("WARNING:message_loop.cc(209)] a\n"));
  EXPECT_TRUE(LogWarningFrom("C:\\src/ipc\\pickle.cc", "b").Is("WARNING:pickle.cc(209)] b\n"));
  EXPECT_TRUE(LogWarningFrom("bare.cc", "c").Is("WARNING:bare.cc(209)] c\n"));
  EXPECT_TRUE(LogWarningFrom("dir\\", "d").Is("WARNING:(209)] d\n"));
}

TEST(LogMessageTest, MacrosWriteEachSeverityNameAndTheirOwnFile) {
  testing::internal::CaptureStderr();
  LOG(INFO) << "i";
  LOG(WARNING) << "w";
  LOG(ERROR) << "e";
  LOG(ERROR_REPORT) << "r";
  const std::string text = testing::internal::GetCapturedStderr();
  const std::regex expected(
      "(\\[\\d{4}/\\d{6}:(INFO|WARNING|ERROR|ERROR_REPORT):logging_test\\.cc\\(\\d+\\)\\] "
      "[iwer]\n){4}");
  EXPECT_TRUE(std::regex_match(text, expected)) << text;
  for (const char* expected_part : {":INFO:logging_test.cc(", ":WARNING:logging_test.cc(",
                                    ":ERROR:logging_test.cc(", ":ERROR_REPORT:logging_test.cc("})
    EXPECT_NE(std::string::npos, text.find(expected_part)) << expected_part;
}

TEST(LogMessageTest, WideTextIsWrittenAsUtf8) {
  testing::internal::CaptureStderr();
  LOG(ERROR) << L"caf\u00e9 " << std::wstring(L"\u542f\u52a8");
  const std::string text = testing::internal::GetCapturedStderr();
  EXPECT_NE(std::string::npos, text.find("] caf\xc3\xa9 \xe5\x90\xaf\xe5\x8a\xa8\n")) << text;
}

TEST(LogMessageTest, LastErrorIsTheCallersDuringAndAfterTheStatement) {
  testing::internal::CaptureStderr();
  SetLastError(ERROR_BROKEN_PIPE);
  LOG(ERROR) << "pipe error: " << GetLastError();
  const DWORD after = GetLastError();
  const std::string text = testing::internal::GetCapturedStderr();
  EXPECT_EQ(static_cast<DWORD>(ERROR_BROKEN_PIPE), after);
  EXPECT_NE(std::string::npos, text.find("] pipe error: 109\n")) << text;
}

TEST(LogMessageTest, TextBelowTheMinimumSeverityIsNeitherFormattedNorWritten) {
  ASSERT_EQ(0, logging::GetMinLogLevel());
  g_formatted = 0;
  testing::internal::CaptureStderr();
  VLOG(1) << CountFormatting();
  LOG_IF(ERROR, false) << CountFormatting();
  CHECK(true) << CountFormatting();
  CHECK_EQ(1, 1) << CountFormatting();
  EXPECT_TRUE(testing::internal::GetCapturedStderr().empty());
  EXPECT_EQ(0, g_formatted);
}

TEST(LogMessageTest, DebugOnlyFormsRunOnlyInDebugBuilds) {
  g_formatted = 0;
  testing::internal::CaptureStderr();
  DLOG(INFO) << CountFormatting();
  DCHECK(!CountFormatting().empty());
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(DCHECK_IS_ON() ? 2 : 0, g_formatted);
}

TEST(LogMessageTest, ComparisonCheckEvaluatesEachOperandOnce) {
  int reads = 0;
  auto next = [&reads] { return ++reads; };
  CHECK_EQ(next(), 1);
  CHECK_LT(next(), 3);
  EXPECT_EQ(2, reads);
}

// A log statement in another process, seen through a debugger of the test's own: the
// debugger output carries the same line as stderr.
TEST(LogMessageChild, DISABLED_WarnAndFail) {
  logging::LogMessage("..\\..\\x\\ipc_channel_win.cc", 209, logging::LOG_WARNING).stream()
      << "pipe busy";
  CHECK(1 + 1 == 3) << "after the warning";
}

TEST(LogMessageTest, DebuggerSeesTheLineAndAContinuedBreakpointEndsWithCodeOne) {
  test::DebuggerOptions options;
  options.handled_exceptions.push_back(EXCEPTION_BREAKPOINT);
  const test::DebuggedRun run = test::RunUnderDebugger(
      test::ChildTestCommandLine("LogMessageChild.DISABLED_WarnAndFail"), options);
  ASSERT_TRUE(run.started);
  ASSERT_TRUE(run.ended);
  EXPECT_EQ(1u, run.exit_code);
  ASSERT_EQ(1u, run.exceptions.size());
  EXPECT_EQ(test::kBreakpointException, run.exceptions[0]);

  const std::regex warning(
      "\\[\\d{4}/\\d{6}:WARNING:ipc_channel_win\\.cc\\(209\\)\\] pipe busy\n");
  const std::regex fatal(
      "\\[\\d{4}/\\d{6}:FATAL:logging_test\\.cc\\(\\d+\\)\\] Check failed: 1 \\+ 1 == 3\\. "
      "after the warning\n");
  int warnings = 0;
  int fatals = 0;
  for (const test::DebugString& received : run.debug_strings) {
    warnings += std::regex_match(received.Narrow(), warning);
    fatals += std::regex_match(received.Narrow(), fatal);
  }
  EXPECT_EQ(1, warnings);
  EXPECT_EQ(1, fatals);
}

using LogMessageDeathTest = testing::Test;

TEST_F(LogMessageDeathTest, FailedCheckWritesItsLineAndEndsAsCrashed) {
  EXPECT_EXIT(CHECK(1 + 1 == 3) << "extra " << 7,
              testing::ExitedWithCode(test::kFailedCheckExitCode),
              "\\[\\d\\d\\d\\d/\\d\\d\\d\\d\\d\\d:FATAL:logging_test\\.cc\\(\\d+\\)\\] "
              "Check failed: 1 \\+ 1 == 3\\. extra 7\n");
}

TEST_F(LogMessageDeathTest, FailedComparisonCheckShowsBothValues) {
  const int capacity_ = -1;
  EXPECT_EXIT(CHECK_NE(capacity_, kCapacityReadOnly) << "read-only",
              testing::ExitedWithCode(test::kFailedCheckExitCode),
              ":FATAL:logging_test\\.cc\\(\\d+\\)\\] "
              "Check failed: capacity_ != kCapacityReadOnly \\(-1 vs\\. -1\\)read-only\n");
}

TEST_F(LogMessageDeathTest, FatalLineLongerThanTheCrashDumpCopyIsWrittenWhole) {
  const std::string payload(3000, 'x');
  EXPECT_EXIT(LOG(FATAL) << payload << "END",
              testing::ExitedWithCode(test::kFailedCheckExitCode),
              ":FATAL:logging_test\\.cc\\(\\d+\\)\\] " + payload + "END\n");
}

}  // namespace
