// The platform's rules for splitting a command line into arguments, as plain code: the
// native build splits the launcher's command line with them, and the fuzz targets check
// with them that an argument line splits back into the tokens it was built from.
#ifndef FUZZ_SUPPORT_WINDOWS_COMMAND_LINE_H_
#define FUZZ_SUPPORT_WINDOWS_COMMAND_LINE_H_

#include <string>
#include <vector>

namespace test {

// Splits |line| as CommandLineToArgvW does: the first argument is the program name (up to
// the first blank, or between the first two quotes, without escapes); in the others a quote
// starts or ends a quoted part, 2n backslashes before a quote stand for n backslashes,
// 2n + 1 for n backslashes and a literal quote, and three quotes in a row for one literal
// quote. Blanks are spaces and tabs. The line ends at its first NUL.
std::vector<std::wstring> SplitWindowsCommandLine(const std::wstring& line);

}  // namespace test

#endif  // FUZZ_SUPPORT_WINDOWS_COMMAND_LINE_H_
