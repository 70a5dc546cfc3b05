// The bytes of messages as ipccat reads and shows them: hex digits, UTF-8 text, files.
#ifndef TOOLS_IPCCAT_PAYLOAD_H_
#define TOOLS_IPCCAT_PAYLOAD_H_

#include <string>

namespace ipccat {

// Lower-case hex digits, two per byte.
std::string ToHex(const std::string& bytes);

// Reads an even number of hex digits of either case; false for anything else.
bool FromHex(const std::string& hex, std::string* bytes);

// The bytes as text without one trailing NUL, when they are valid UTF-8; false otherwise.
bool AsUtf8Text(const std::string& bytes, std::string* text);

// True when |text| has no control character but tab: it can stand on one output line.
bool IsPrintable(const std::string& text);

// Reads the whole file at the UTF-8 path |path|; false when it cannot be read.
bool ReadWholeFile(const std::string& path, std::string* bytes);

}  // namespace ipccat

#endif  // TOOLS_IPCCAT_PAYLOAD_H_
