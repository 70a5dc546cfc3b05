// What one ipccat run was asked to do: the command line read into a command, a broker
// name and the command's options, or a one-line usage error.
#ifndef TOOLS_IPCCAT_OPTIONS_H_
#define TOOLS_IPCCAT_OPTIONS_H_

#include <string>
#include <vector>

#include "IPC_Broker.h"

namespace ipccat {

enum class Command { kHelp, kServe, kSend, kListen };

// Where a send takes its bytes from.
enum class Payload { kText, kHex, kFile, kStandardInput };

struct Options {
  Command command = Command::kHelp;
  std::string name;
  bool json = false;

  // serve and listen: end after |count| messages or |seconds| seconds; 0 means no limit.
  unsigned count = 0;
  unsigned seconds = 0;

  // send
  int target = IPC_TARGET_SERVER;
  Payload payload = Payload::kText;
  std::string payloadArgument;  // the text, the hex digits or the file path
  bool appendNul = false;
};

struct ParseResult {
  Options options;
  std::string error;  // empty when the command line is good
};

// |arguments| are the UTF-8 arguments after the program name.
ParseResult ParseOptions(const std::vector<std::string>& arguments);

// The text that --help prints.
extern const char kUsage[];

}  // namespace ipccat

#endif  // TOOLS_IPCCAT_OPTIONS_H_
