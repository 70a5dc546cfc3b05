// Writing and reading the demo client's start record: one record per start, with the
// fields "process_id", "command_line", "working_directory", "mutex" and "channel".
#include "VeskGame/client_record.h"

#include <cstdlib>

#include "VeskGame/record_file.h"
#include "base/utf_string_conversions.h"
#include "launcher/path_util.h"

namespace {

const wchar_t kStartsFileName[] = L"VeskGame-starts.txt";
const char kProcessIdField[] = "process_id";
const char kCommandLineField[] = "command_line";
const char kWorkingDirectoryField[] = "working_directory";
const char kMutexField[] = "mutex";
const char kChannelField[] = "channel";
const char kMutexHeld[] = "held";
const char kMutexBusy[] = "busy";
const char kChannelServed[] = "served";
const char kChannelNotServed[] = "not served";

}  // namespace

std::wstring ClientStartsPath(const std::wstring& folder) {
  return JoinPath(folder, kStartsFileName);
}

bool AppendClientStart(const std::wstring& file, const ClientStart& start) {
  Record record;
  record[kProcessIdField] = std::to_string(start.processId);
  record[kCommandLineField] = base::WideToUTF8(start.commandLine);
  record[kWorkingDirectoryField] = base::WideToUTF8(start.workingDirectory);
  record[kMutexField] = start.heldMutex ? kMutexHeld : kMutexBusy;
  record[kChannelField] = start.servesChannel ? kChannelServed : kChannelNotServed;
  return AppendRecord(file, record);
}

std::vector<ClientStart> ReadClientStarts(const std::wstring& file) {
  std::vector<ClientStart> starts;
  for (const Record& record : ReadRecords(file)) {
    ClientStart start;
    start.processId = std::strtoul(RecordValue(record, kProcessIdField).c_str(), nullptr, 10);
    start.commandLine = base::UTF8ToWide(RecordValue(record, kCommandLineField));
    start.workingDirectory = base::UTF8ToWide(RecordValue(record, kWorkingDirectoryField));
    start.heldMutex = RecordValue(record, kMutexField) == kMutexHeld;
    start.servesChannel = RecordValue(record, kChannelField) == kChannelServed;
    starts.push_back(start);
  }
  return starts;
}
