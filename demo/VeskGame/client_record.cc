// Writing and reading the demo client's start record.
//
// A block is "process_id=", "command_line=", "working_directory=" and "mutex=" lines and
// an empty line. Values are kept readable: only "%" and control characters are written
// as %XX, so a line break in a command line cannot split a block.
#include "demo/VeskGame/client_record.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "base/utf_string_conversions.h"
#include "base/win/scoped_handle.h"
#include "launcher/path_util.h"

namespace {

const wchar_t kStartsFileName[] = L"VeskGame-starts.txt";
const char kProcessIdField[] = "process_id";
const char kCommandLineField[] = "command_line";
const char kWorkingDirectoryField[] = "working_directory";
const char kMutexField[] = "mutex";
const char kMutexHeld[] = "held";
const char kMutexBusy[] = "busy";
const int kFieldCount = 4;

std::string EscapeValue(const std::string& value) {
  std::string escaped;
  for (unsigned char c : value) {
    if (c == '%' || c < 0x20) {
      char hex[4];
      std::snprintf(hex, sizeof(hex), "%%%02X", c);
      escaped += hex;
    } else {
      escaped.push_back(static_cast<char>(c));
    }
  }
  return escaped;
}

std::string UnescapeValue(const std::string& value) {
  std::string plain;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '%' && i + 2 < value.size()) {
      plain.push_back(static_cast<char>(std::strtoul(value.substr(i + 1, 2).c_str(), nullptr, 16)));
      i += 2;
    } else {
      plain.push_back(value[i]);
    }
  }
  return plain;
}

std::string FieldLine(const char* field, const std::string& value) {
  return std::string(field) + "=" + EscapeValue(value) + "\n";
}

std::string ReadWholeFile(const std::wstring& file) {
  base::win::ScopedFileHandle handle(
      CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string bytes;
  if (!handle.IsValid())
    return bytes;
  char chunk[4096];
  DWORD read = 0;
  while (ReadFile(handle.Get(), chunk, sizeof(chunk), &read, nullptr) && read > 0)
    bytes.append(chunk, read);
  return bytes;
}

// Sets the field of |start| named |field|; false for an unknown field.
bool SetField(ClientStart& start, const std::string& field, const std::string& value) {
  if (field == kProcessIdField)
    start.processId = std::strtoul(value.c_str(), nullptr, 10);
  else if (field == kCommandLineField)
    start.commandLine = base::UTF8ToWide(value);
  else if (field == kWorkingDirectoryField)
    start.workingDirectory = base::UTF8ToWide(value);
  else if (field == kMutexField)
    start.heldMutex = value == kMutexHeld;
  else
    return false;
  return true;
}

}  // namespace

std::wstring ClientStartsPath(const std::wstring& folder) {
  return JoinPath(folder, kStartsFileName);
}

bool AppendClientStart(const std::wstring& file, const ClientStart& start) {
  const std::string block =
      FieldLine(kProcessIdField, std::to_string(start.processId)) +
      FieldLine(kCommandLineField, base::WideToUTF8(start.commandLine)) +
      FieldLine(kWorkingDirectoryField, base::WideToUTF8(start.workingDirectory)) +
      FieldLine(kMutexField, start.heldMutex ? kMutexHeld : kMutexBusy) + "\n";
  base::win::ScopedFileHandle handle(
      CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!handle.IsValid())
    return false;
  DWORD written = 0;
  return WriteFile(handle.Get(), block.data(), static_cast<DWORD>(block.size()), &written,
                   nullptr) &&
         written == block.size();
}

std::vector<ClientStart> ReadClientStarts(const std::wstring& file) {
  const std::string bytes = ReadWholeFile(file);
  std::vector<ClientStart> starts;
  ClientStart current;
  int fields = 0;
  size_t lineStart = 0;
  for (size_t end = bytes.find('\n'); end != std::string::npos;
       lineStart = end + 1, end = bytes.find('\n', lineStart)) {
    const std::string line = bytes.substr(lineStart, end - lineStart);
    if (line.empty()) {
      if (fields == kFieldCount)
        starts.push_back(current);
      current = ClientStart();
      fields = 0;
      continue;
    }
    const size_t equals = line.find('=');
    if (equals != std::string::npos &&
        SetField(current, line.substr(0, equals), UnescapeValue(line.substr(equals + 1)))) {
      ++fields;
    }
  }
  return starts;
}
