// The launch request a launcher forwards, built from any argument line: a JSON object of
// exactly "content" and "message_id", written compact in key order with a closing line feed,
// no raw control character and no lower-case hex digit in an escape; a JSON reader gives the
// id back, and the argument line when it is well-formed UTF-8.
#include <cstdint>
#include <memory>
#include <string>

#include <json/reader.h>
#include <json/value.h>

#include "base/utf_string_conversions.h"
#include "fuzz/support/fuzz_check.h"
#include "launcher/client_request.h"

namespace {

void CheckEscapes(const std::string& json) {
  for (size_t i = 0; i < json.size(); ++i) {
    FUZZ_CHECK(static_cast<unsigned char>(json[i]) >= 0x20 || i + 1 == json.size());
    if (json[i] != '\\')
      continue;
    ++i;
    FUZZ_CHECK(i < json.size());
    if (json[i] != 'u')
      continue;
    for (size_t digit = 1; digit <= 4; ++digit) {
      FUZZ_CHECK(i + digit < json.size());
      const char c = json[i + digit];
      FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'));
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string argument_line(reinterpret_cast<const char*>(data), size);
  const std::string json = BuildLaunchRequest(argument_line);
  FUZZ_CHECK(!json.empty() && json.back() == '\n');
  FUZZ_CHECK(json.compare(0, 12, "{\"content\":\"") == 0);
  CheckEscapes(json);

  Json::Value request;
  Json::CharReaderBuilder builder;
  std::string errors;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  FUZZ_CHECK(reader->parse(json.data(), json.data() + json.size(), &request, &errors));
  FUZZ_CHECK(request.isObject() && request.size() == 2);
  FUZZ_CHECK(request["message_id"].asInt() == kLaunchRequestMessageId);
  // The launcher's argument line is UTF-8 converted from UTF-16, so always well formed;
  // other bytes need only be written safely.
  const bool well_formed = base::WideToUTF8(base::UTF8ToWide(argument_line)) == argument_line;
  FUZZ_CHECK(!well_formed || request["content"].asString() == argument_line);
  return 0;
}
