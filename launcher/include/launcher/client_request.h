// The bytes of the request a launcher hands to the running client. Pure functions of
// UTF-8 text, with no platform calls.
#ifndef LAUNCHER_CLIENT_REQUEST_H_
#define LAUNCHER_CLIENT_REQUEST_H_

#include <string>

// The "message_id" of a forwarded launch.
constexpr int kLaunchRequestMessageId = 65537;

// {"content":"<argumentLine>","message_id":65537} and a line feed. Members in key order, no
// white space; in the string `\"`, `\\`, `\b`, `\f`, `\n`, `\r` and `\t`, other characters
// below U+0020 as `\u` with four upper-case hex digits, everything else as its raw bytes.
// The client reads the text up to the NUL that the sender appends.
std::string BuildLaunchRequest(const std::string& argumentLine);

#endif  // LAUNCHER_CLIENT_REQUEST_H_
