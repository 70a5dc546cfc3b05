// Reading ipccat's command line.
#include "tools/ipccat/options.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace ipccat {

const char kUsage[] =
    "ipccat: a command-line peer of the named-pipe broker.\n"
    "\n"
    "  ipccat serve NAME   [--count N] [--seconds S] [--json]\n"
    "      serves NAME and prints every status change and every message received\n"
    "  ipccat listen NAME  [--count N] [--seconds S] [--json]\n"
    "      connects to NAME's server and prints what the server or other clients send;\n"
    "      ends when the server goes away\n"
    "  ipccat send NAME    [--target ID] [--nul] [--json] TEXT | --hex HEX | --file PATH | -\n"
    "      connects to NAME's server, sends one message and shuts down; - sends each line\n"
    "      of standard input as one message (empty lines are skipped)\n"
    "\n"
    "  --target ID   10000 is the server (the default), -1 every other client, else a\n"
    "                client's communication id\n"
    "  --nul         appends a NUL byte to each message, as the launcher does\n"
    "  --count N     ends after N messages; --seconds S ends after S seconds\n"
    "  --json        prints one JSON object per line\n"
    "\n"
    "Exit codes: 0 done, 1 could not connect or serve (or lost the server),\n"
    "2 bad usage, 3 --seconds ran out before --count messages came.\n";

namespace {

const char kOptionPrefix[] = "--";
const char kStandardInputArgument[] = "-";
const char kHexOption[] = "--hex";
const char kFileOption[] = "--file";

// The options, and which commands take them.
struct OptionSpec {
  const char* name;
  bool takesValue;
  bool ofSend;
  bool ofReceivers;  // serve and listen
};

const OptionSpec kOptionSpecs[] = {
    {"--json", false, true, true},    {"--help", false, true, true},
    {"--nul", false, true, false},    {"--target", true, true, false},
    {kHexOption, true, true, false},  {kFileOption, true, true, false},
    {"--count", true, false, true},   {"--seconds", true, false, true},
};

const OptionSpec* FindOption(const std::string& name) {
  for (const OptionSpec& known : kOptionSpecs) {
    if (name == known.name)
      return &known;
  }
  return nullptr;
}

bool IsOption(const std::string& argument) {
  return argument.size() > 2 && argument.compare(0, 2, kOptionPrefix) == 0;
}

bool ParseInteger(const std::string& text, long long minimum, long long maximum,
                  long long* value) {
  if (text.empty())
    return false;
  char* end = nullptr;
  errno = 0;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < minimum || parsed > maximum)
    return false;
  *value = parsed;
  return true;
}

bool ParsePositive(const std::string& text, unsigned* value) {
  long long parsed = 0;
  if (!ParseInteger(text, 1, UINT_MAX, &parsed))
    return false;
  *value = static_cast<unsigned>(parsed);
  return true;
}

bool ParseCommand(const std::string& word, Command* command) {
  if (word == "serve")
    *command = Command::kServe;
  else if (word == "send")
    *command = Command::kSend;
  else if (word == "listen")
    *command = Command::kListen;
  else
    return false;
  return true;
}

// Reads one option's value into |options|; an error text, or empty.
std::string ApplyOptionValue(const std::string& name, const std::string& value,
                             Options* options) {
  long long target = 0;
  if (name == "--count" && !ParsePositive(value, &options->count))
    return "--count needs a whole number above 0, not '" + value + "'";
  if (name == "--seconds" && !ParsePositive(value, &options->seconds))
    return "--seconds needs a whole number above 0, not '" + value + "'";
  if (name == "--target") {
    if (!ParseInteger(value, INT_MIN, INT_MAX, &target))
      return "--target needs a communication id, not '" + value + "'";
    options->target = static_cast<int>(target);
  }
  if (name == kHexOption || name == kFileOption) {
    options->payload = name == kHexOption ? Payload::kHex : Payload::kFile;
    options->payloadArgument = value;
  }
  return std::string();
}

class Parser {
 public:
  explicit Parser(const std::vector<std::string>& arguments) : arguments_(arguments) {}

  ParseResult Run() {
    result_.options.json =
        std::find(arguments_.begin(), arguments_.end(), "--json") != arguments_.end();
    if (std::find(arguments_.begin(), arguments_.end(), "--help") != arguments_.end())
      return result_;
    for (size_t i = 0; i < arguments_.size() && result_.error.empty(); ++i)
      ReadArgument(&i);
    if (result_.error.empty())
      ReadPositionals();
    if (result_.error.empty())
      CheckOptionsFitCommand();
    return result_;
  }

 private:
  void ReadArgument(size_t* index) {
    const std::string& argument = arguments_[*index];
    if (!IsOption(argument)) {
      positionals_.push_back(argument);
      return;
    }
    const OptionSpec* known = FindOption(argument);
    if (!known) {
      result_.error = "unknown option " + argument;
      return;
    }
    seen_.push_back(known);
    if (!known->takesValue) {
      result_.options.appendNul |= argument == "--nul";
      return;
    }
    if (*index + 1 == arguments_.size()) {
      result_.error = argument + " needs a value";
      return;
    }
    result_.error = ApplyOptionValue(argument, arguments_[++*index], &result_.options);
  }

  void ReadPositionals() {
    Options& options = result_.options;
    if (positionals_.empty()) {
      result_.error = "a command is needed: serve, send or listen (see --help)";
      return;
    }
    if (!ParseCommand(positionals_[0], &options.command)) {
      result_.error = "unknown command " + positionals_[0] + " (see --help)";
      return;
    }
    if (positionals_.size() < 2 || positionals_[1].empty()) {
      result_.error = positionals_[0] + " needs a broker name";
      return;
    }
    options.name = positionals_[1];
    const size_t allowed = options.command == Command::kSend ? 3 : 2;
    if (positionals_.size() > allowed) {
      result_.error = "unexpected argument " + positionals_[allowed];
      return;
    }
    if (options.command == Command::kSend)
      ReadSendPayload();
  }

  void ReadSendPayload() {
    Options& options = result_.options;
    const bool hasPositional = positionals_.size() == 3;
    const size_t sources = (hasPositional ? 1 : 0) +
                           std::count_if(seen_.begin(), seen_.end(), [](const OptionSpec* known) {
                             const std::string name = known->name;
                             return name == kHexOption || name == kFileOption;
                           });
    if (sources != 1) {
      result_.error = sources == 0 ? "send needs a message: TEXT, -, --hex HEX or --file PATH"
                                   : "send takes one message: TEXT, -, --hex or --file";
      return;
    }
    if (!hasPositional)
      return;
    options.payloadArgument = positionals_[2];
    options.payload = positionals_[2] == kStandardInputArgument ? Payload::kStandardInput
                                                                : Payload::kText;
    if (options.payload == Payload::kText && options.payloadArgument.empty() &&
        !options.appendNul)
      result_.error = "send needs a message that is not empty";
  }

  void CheckOptionsFitCommand() {
    const bool isSend = result_.options.command == Command::kSend;
    for (const OptionSpec* known : seen_) {
      if (isSend ? !known->ofSend : !known->ofReceivers) {
        result_.error = std::string(known->name) + " is not an option of " + positionals_[0];
        return;
      }
    }
  }

  const std::vector<std::string>& arguments_;
  std::vector<std::string> positionals_;
  std::vector<const OptionSpec*> seen_;
  ParseResult result_;
};

}  // namespace

ParseResult ParseOptions(const std::vector<std::string>& arguments) {
  return Parser(arguments).Run();
}

}  // namespace ipccat
