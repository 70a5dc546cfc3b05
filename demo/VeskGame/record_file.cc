// Writing and reading the demo client's record files.
#include "VeskGame/record_file.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "base/win/read_to_end.h"
#include "base/win/scoped_handle.h"

namespace {

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

std::string ReadWholeFile(const std::wstring& file) {
  base::win::ScopedFileHandle handle(CreateFileW(
      file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  std::string bytes;
  if (handle.IsValid())
    base::win::ReadToEnd(handle.Get(), &bytes);
  return bytes;
}

}  // namespace

bool AppendRecord(const std::wstring& file, const Record& record) {
  std::string block;
  for (const auto& field : record)
    block += field.first + "=" + EscapeValue(field.second) + "\n";
  block += "\n";
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

std::vector<Record> ReadRecords(const std::wstring& file) {
  const std::string bytes = ReadWholeFile(file);
  std::vector<Record> records;
  Record current;
  size_t line_start = 0;
  // Only an empty line closes a record: the tail of a write still under way is dropped.
  for (size_t end = bytes.find('\n'); end != std::string::npos;
       line_start = end + 1, end = bytes.find('\n', line_start)) {
    const std::string line = bytes.substr(line_start, end - line_start);
    if (line.empty()) {
      if (!current.empty())
        records.push_back(current);
      current.clear();
      continue;
    }
    const size_t equals = line.find('=');
    if (equals != std::string::npos)
      current[line.substr(0, equals)] = UnescapeValue(line.substr(equals + 1));
  }
  return records;
}

std::string RecordValue(const Record& record, const std::string& field) {
  const auto found = record.find(field);
  return found == record.end() ? std::string() : found->second;
}
