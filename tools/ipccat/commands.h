// ipccat's three commands, each a whole run against the broker that answers the exit code.
#ifndef TOOLS_IPCCAT_COMMANDS_H_
#define TOOLS_IPCCAT_COMMANDS_H_

namespace ipccat {

class EventPrinter;
struct Options;

enum ExitCode {
  kExitDone = 0,
  kExitNoBroker = 1,   // could not connect or serve, or lost the server
  kExitBadUsage = 2,
  kExitTimedOut = 3,   // --seconds ran out before --count messages came
};

int Serve(const Options& options, EventPrinter* printer);
int Listen(const Options& options, EventPrinter* printer);
int Send(const Options& options, EventPrinter* printer);

}  // namespace ipccat

#endif  // TOOLS_IPCCAT_COMMANDS_H_
