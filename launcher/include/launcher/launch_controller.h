// One run of the launcher: the instance guard, the probe for a running client, and the
// start of a client or the hand-over of a request to the running one.
#ifndef LAUNCHER_LAUNCH_CONTROLLER_H_
#define LAUNCHER_LAUNCH_CONTROLLER_H_

#include <functional>
#include <string>

#include "base/win/scoped_handle.h"

class LaunchOptions;

// Receives the launcher's outcome traces as exact UTF-16 text.
typedef std::function<void(const std::wstring&)> TraceWriter;

// The default trace writer: the debugger output.
void WriteDebuggerTrace(const std::wstring& text);

// Lets the running client take the foreground when it receives the request.
typedef std::function<void()> ForegroundGrant;

// The default grant: AllowSetForegroundWindow for any process, until the next input.
void AllowAnyProcessToTakeForeground();

// A local object of the entry point, used on the main thread only, for one run. Reads the
// options it is given (parsed before it is made) and keeps only the launcher mutex, which
// is held from IsLauncherRunning until ReleaseLauncherMutex.
class LaunchController {
 public:
  // The process-wide options, traces to the debugger output.
  LaunchController();
  LaunchController(const LaunchOptions& launchOptions, TraceWriter traceWriter,
                   ForegroundGrant foregroundGrant = AllowAnyProcessToTakeForeground);

  // The run: guard, probe, then launch or forward, then release the guard.
  void Run();

  // True when another launcher for the same OEM id holds the launcher mutex. Otherwise
  // this controller holds it (or runs unguarded when it could not be created).
  bool IsLauncherRunning();
  // True when a client for this OEM id and |userId| holds its mutex.
  bool IsClientRunning(const std::wstring& userId);

  // Finds the current version's client and starts it, or starts the fallback.
  void LaunchClient();
  // On true |path| is the current version's client executable; on false it is empty.
  // Shows the message box when no "Version.ini" is found.
  bool FindClientExecutable(std::wstring& path);
  // Starts the client from |path|, or by its bare name when |path| names no file, and
  // traces the outcome. Does not wait for the client and keeps no handle.
  void StartClientProcess(const std::wstring& path);

  // Hands the running client this run's request over its channel: one message, or none
  // for an empty "-msg". Just before the send it lets the client take the foreground, so
  // that the client can bring its window to the front on receiving the request. Blocks up to about 15 s when the client does not answer; shows
  // and traces nothing, whatever happens.
  void ForwardToClient(const std::wstring& userId);

  // Closes the launcher mutex, if held, without releasing ownership first: the mutex
  // goes with its last handle.
  void ReleaseLauncherMutex();

 private:
  // The "-msg" text, or the JSON request carrying the argument line, in UTF-8.
  std::string ClientRequest() const;
  void TraceStartFailure(unsigned long error);

  const LaunchOptions& options;
  TraceWriter writeTrace;
  ForegroundGrant grantForeground;
  base::win::ScopedHandle launcherMutex;  // null whenever it is not held
};

#endif  // LAUNCHER_LAUNCH_CONTROLLER_H_
