// The platform's command-line splitting rules.
#include "fuzz/support/windows_command_line.h"

namespace test {

namespace {

bool IsBlank(wchar_t c) {
  return c == L' ' || c == L'\t';
}

// Reads the program name from |line| at |*i|: up to the next quote when it starts with one,
// else up to the next blank.
std::wstring ReadProgramName(const std::wstring& line, size_t* i) {
  std::wstring name;
  if (*i < line.size() && line[*i] == L'"') {
    ++*i;
    while (*i < line.size() && line[*i] != L'"')
      name += line[(*i)++];
    if (*i < line.size())
      ++*i;
    return name;
  }
  while (*i < line.size() && !IsBlank(line[*i]))
    name += line[(*i)++];
  return name;
}

// Reads one argument from |line| at |*i|, which is not a blank.
std::wstring ReadArgument(const std::wstring& line, size_t* i) {
  std::wstring argument;
  size_t backslashes = 0;
  // 0 outside quotes, 1 inside; counts up the quotes of a run, three of which are a literal.
  int quotes = 0;
  while (*i < line.size() && !(IsBlank(line[*i]) && quotes == 0)) {
    const wchar_t c = line[(*i)++];
    if (c == L'\\') {
      ++backslashes;
      argument += c;
      continue;
    }
    if (c != L'"') {
      backslashes = 0;
      argument += c;
      continue;
    }
    if (backslashes % 2 == 0) {
      argument.resize(argument.size() - backslashes / 2);
      ++quotes;
    } else {
      argument.resize(argument.size() - backslashes / 2 - 1);
      argument += L'"';
    }
    backslashes = 0;
    for (; *i < line.size() && line[*i] == L'"'; ++*i) {
      if (++quotes == 3) {
        argument += L'"';
        quotes = 0;
      }
    }
    if (quotes == 2)
      quotes = 0;
  }
  return argument;
}

void SkipBlanks(const std::wstring& line, size_t* i) {
  while (*i < line.size() && IsBlank(line[*i]))
    ++*i;
}

}  // namespace

std::vector<std::wstring> SplitWindowsCommandLine(const std::wstring& line) {
  const std::wstring text = line.substr(0, line.find(L'\0'));
  size_t i = 0;
  std::vector<std::wstring> arguments(1, ReadProgramName(text, &i));
  SkipBlanks(text, &i);
  while (i < text.size()) {
    arguments.push_back(ReadArgument(text, &i));
    SkipBlanks(text, &i);
  }
  return arguments;
}

}  // namespace test
