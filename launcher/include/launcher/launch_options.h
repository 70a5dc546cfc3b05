// The launcher's option store: the command line split into a positional head and
// key/value pairs, with defaults, and the argument line a client is started with.
#ifndef LAUNCHER_LAUNCH_OPTIONS_H_
#define LAUNCHER_LAUNCH_OPTIONS_H_

#include <map>
#include <string>
#include <vector>

// Filled once by Parse, on the main thread, before anything reads it; read-only after.
// Keys are stored lowered (ASCII letters only); lookups are exact, so callers pass
// lower-case keys. The map orders keys by UTF-16 code units, which is the order of the
// passed-on pairs in the argument line.
class LaunchOptions {
 public:
  typedef std::map<std::wstring, std::wstring> ValueMap;

  LaunchOptions();

  // Fills the store from the full command line (program path included) and applies
  // the defaults and normalisations. Replaces whatever an earlier call stored.
  void Parse(const std::wstring& commandLine);
  // The same from the command line split into arguments, program path first.
  void ParseArguments(const std::vector<std::wstring>& arguments);

  // The value stored under |key|, or the empty string when it is absent.
  std::wstring GetValue(const std::wstring& key) const;
  // True when |key| is stored, even with an empty value.
  bool HasValue(const std::wstring& key) const;

  // The client's argument line: each token as a space and the token in double quotes,
  // escaped so that the platform's command-line splitting gives every token back exactly.
  // It begins with a space and holds no program name.
  std::wstring BuildClientArguments() const;

  const ValueMap& Values() const { return values; }
  const std::vector<std::wstring>& GameIds() const { return gameIds; }

 private:
  // Whether |argument| is the "-scmd" marker, which matches ignoring case.
  static bool IsMarker(const std::wstring& argument);
  void ReadArguments(const std::vector<std::wstring>& arguments);
  void ApplyDefaults();

  ValueMap values;
  std::vector<std::wstring> gameIds;  // the positional id first, then "-gameid" pairs
};

// The process-wide store, constructed before the entry point runs.
LaunchOptions& GetLaunchOptions();

#endif  // LAUNCHER_LAUNCH_OPTIONS_H_
