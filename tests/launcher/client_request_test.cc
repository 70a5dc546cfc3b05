// The forwarded launch request, byte for byte.
#include "launcher/client_request.h"

#include <string>

#include <gtest/gtest.h>

namespace {

struct RequestCase {
  const char* what;
  std::string argumentLine;
  std::string request;
};

// The JSON's own escapes, written out: "\\\"" in these literals is a backslash and a quote.
const RequestCase kRequestCases[] = {
    {"Chinese text, a quote, a backslash, a tab and U+0001",
     " \"-scmd\" \"\xE4\xB8\xAD\xE6\x96\x87\" \"say \\\"hi\\\"\" \"C:\\dir\" \"a\tb\" \"\x01\"",
     "{\"content\":\" \\\"-scmd\\\" \\\"\xE4\xB8\xAD\xE6\x96\x87\\\" \\\"say \\\\\\\"hi\\\\\\\"\\\" "
     "\\\"C:\\\\dir\\\" \\\"a\\tb\\\" \\\"\\u0001\\\"\",\"message_id\":65537}\n"},
    {"named escapes, other control characters in upper-case hex, DEL raw",
     std::string("\b\f\n\r\t\x0B\x1B\x1F\x7F", 9),
     "{\"content\":\"\\b\\f\\n\\r\\t\\u000B\\u001B\\u001F\x7F\",\"message_id\":65537}\n"},
    {"an embedded NUL", std::string("a\0b", 3),
     "{\"content\":\"a\\u0000b\",\"message_id\":65537}\n"},
    {"a backslash before a u in the text keeps its letters",
     "\\u00ab\\\\uabcd",
     "{\"content\":\"\\\\u00ab\\\\\\\\uabcd\",\"message_id\":65537}\n"},
    {"characters beyond the basic plane and a slash stay raw",
     "\xF0\x9F\x98\x80/\xC3\xA9",
     "{\"content\":\"\xF0\x9F\x98\x80/\xC3\xA9\",\"message_id\":65537}\n"},
    {"an empty line", "", "{\"content\":\"\",\"message_id\":65537}\n"},
};

TEST(ClientRequestTest, RequestBytesAreExactlyTheClientsFormat) {
  for (const RequestCase& c : kRequestCases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.request, BuildLaunchRequest(c.argumentLine));
  }
}

TEST(ClientRequestTest, IllFormedUtf8IsPassedOnAsItsBytes) {
  const std::string broken = "\xE4\xB8 \xFF\xC0\x80";
  EXPECT_EQ("{\"content\":\"" + broken + "\",\"message_id\":65537}\n", BuildLaunchRequest(broken));
}

}  // namespace
