// Writing and reading the demo client's request record.
#include "VeskGame/request_record.h"

#include <cstdlib>
#include <memory>

#include <json/reader.h>
#include <json/value.h>

#include "VeskGame/record_file.h"
#include "launcher/path_util.h"

namespace {

const wchar_t kRequestsFileName[] = L"VeskGame-requests.txt";
const char kSourceField[] = "source";
const char kSizeField[] = "size";
const char kBytesField[] = "bytes";
const char kTextField[] = "text";
const char kMessageIdField[] = "message_id";
const char kContentField[] = "content";

// The text a sender meant: the bytes up to the first NUL.
std::string TextOf(const std::string& bytes) {
  return bytes.substr(0, bytes.find('\0'));
}

// True when |text| is a JSON object with an integer "message_id" and a string "content".
bool ReadLaunchRequest(const std::string& text, Json::Value& request) {
  Json::CharReaderBuilder builder;
  Json::CharReaderBuilder::strictMode(&builder.settings_);
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  return reader->parse(text.data(), text.data() + text.size(), &request, &errors) &&
         request.isObject() && request[kMessageIdField].isInt() &&
         request[kContentField].isString();
}

}  // namespace

std::wstring ClientRequestsPath(const std::wstring& folder) {
  return JoinPath(folder, kRequestsFileName);
}

bool AppendReceivedRequest(const std::wstring& file, const ReceivedRequest& request) {
  Record record;
  record[kSourceField] = std::to_string(request.sourceId);
  record[kSizeField] = std::to_string(request.bytes.size());
  record[kBytesField] = request.bytes;
  const std::string text = TextOf(request.bytes);
  Json::Value launch;
  if (ReadLaunchRequest(text, launch)) {
    record[kMessageIdField] = std::to_string(launch[kMessageIdField].asInt());
    record[kContentField] = launch[kContentField].asString();
  } else {
    record[kTextField] = text;
  }
  return AppendRecord(file, record);
}

std::vector<ReceivedRequest> ReadReceivedRequests(const std::wstring& file) {
  std::vector<ReceivedRequest> requests;
  for (const Record& record : ReadRecords(file)) {
    ReceivedRequest request;
    request.sourceId = std::atoi(RecordValue(record, kSourceField).c_str());
    request.bytes = RecordValue(record, kBytesField);
    requests.push_back(request);
  }
  return requests;
}
