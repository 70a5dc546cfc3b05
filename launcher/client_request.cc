// The forwarded launch request, serialised by JsonCpp.
#include "launcher/client_request.h"

#include <json/value.h>
#include <json/writer.h>

namespace {

const char kContentMember[] = "content";
const char kMessageIdMember[] = "message_id";

char UpperHexDigit(char c) {
  return (c >= 'a' && c <= 'f') ? static_cast<char>(c - 'a' + 'A') : c;
}

// JsonCpp writes the digits of a `\u` escape in lower case; the client has always been
// sent upper-case ones. Walks the escapes so that an escaped backslash followed by a
// "u" in the text is left alone.
void UpperCaseUnicodeEscapes(std::string& json) {
  const size_t kEscapeDigits = 4;
  for (size_t i = 0; i + 1 < json.size(); ++i) {
    if (json[i] != '\\')
      continue;
    ++i;
    if (json[i] != 'u')
      continue;
    for (size_t digit = 0; digit < kEscapeDigits && i + 1 < json.size(); ++digit) {
      ++i;
      json[i] = UpperHexDigit(json[i]);
    }
  }
}

}  // namespace

std::string BuildLaunchRequest(const std::string& argumentLine) {
  Json::Value request(Json::objectValue);
  request[kContentMember] = argumentLine;
  request[kMessageIdMember] = kLaunchRequestMessageId;

  Json::StreamWriterBuilder compact;
  compact["indentation"] = "";
  compact["emitUTF8"] = true;
  std::string json = Json::writeString(compact, request);
  UpperCaseUnicodeEscapes(json);
  json.push_back('\n');
  return json;
}
