// ipccat: a command-line peer of the broker, to serve, send to and listen on a broker name
// from a shell.
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/utf_string_conversions.h"
#include "tools/ipccat/commands.h"
#include "tools/ipccat/event_printer.h"
#include "tools/ipccat/options.h"

namespace {

// Lines end in a bare line feed and standard input's bytes arrive as they are.
void UseBinaryStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

// Where ipccat's errors go. With --json, standard error carries ipccat's JSON lines alone:
// the runtime writes its diagnostic lines to the C runtime's stderr, which then leads to NUL
// (they still reach the debugger output), and the errors go through a stream of their own
// on the original standard error, open until the process ends.
std::FILE* ErrorStream(bool json) {
  if (!json)
    return stderr;
  const int ownErrors = _dup(_fileno(stderr));
  std::FILE* errors = ownErrors == -1 ? nullptr : _fdopen(ownErrors, "wb");
  if (!errors)
    return stderr;
  std::freopen("NUL", "wb", stderr);
  return errors;
}

int Run(const ipccat::Options& options, ipccat::EventPrinter* printer) {
  switch (options.command) {
    case ipccat::Command::kServe:
      return ipccat::Serve(options, printer);
    case ipccat::Command::kListen:
      return ipccat::Listen(options, printer);
    case ipccat::Command::kSend:
      return ipccat::Send(options, printer);
    case ipccat::Command::kHelp:
      break;
  }
  std::fputs(ipccat::kUsage, stdout);
  return ipccat::kExitDone;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  UseBinaryStreams();
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i)
    arguments.push_back(base::WideToUTF8(argv[i]));
  const ipccat::ParseResult parsed = ipccat::ParseOptions(arguments);
  ipccat::EventPrinter printer(parsed.options.json, ErrorStream(parsed.options.json));
  if (!parsed.error.empty()) {
    printer.Error(parsed.error);
    return ipccat::kExitBadUsage;
  }
  return Run(parsed.options, &printer);
}
