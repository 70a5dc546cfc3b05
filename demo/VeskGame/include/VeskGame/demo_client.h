// The project's own stand-in for the game-hall client "VeskGame.exe".
#ifndef VESKGAME_DEMO_CLIENT_H_
#define VESKGAME_DEMO_CLIENT_H_

#include <string>

#include "IPC_Broker.h"
#include "VeskGame/client_window.h"
#include "base/win/scoped_handle.h"

class LaunchOptions;

// One run of the client, on the main thread. While it runs it holds its client mutex
// Global\Veskgame-<oemId>[-<userId>], the name the launcher probes, and serves the broker
// channel Veskgame-<oemId>[-<userId>] as its server host. On every request it receives (on
// the broker's callback thread) it brings its window to the front and records the request
// beside the executable. Each start is recorded
// once the mutex is held and the channel served (or the mutex found held by another
// client), so a reader that sees the record knows the outcome. The run ends when the
// quit event is signalled or after the "-quitafter" time.
class DemoClient {
 public:
  explicit DemoClient(const LaunchOptions& options);

  // 0 after a run that held the mutex; 1 when another client for the same ids runs or
  // the client could not set itself up.
  int Run();

 private:
  // Creates the quit event and takes the client mutex; false when another client holds it.
  bool TakePresence();
  void RecordStart(bool held_mutex, bool serves_channel) const;
  // Serves the request channel; false when it cannot be served.
  bool Serve();
  // Waits until told to quit or the time is up.
  void WaitForQuit() const;
  unsigned long QuitAfterMs() const;
  static bool IPC_CALL OnRequest(void* self, int source_id, void* data, unsigned size);

  const LaunchOptions& options_;
  const std::wstring oem_id_;
  const std::wstring user_id_;
  base::win::ScopedHandle quit_event_;
  base::win::ScopedHandle client_mutex_;  // owned while the run holds it
  ClientWindow window_;
  const std::wstring requests_path_;
  void* server_ = nullptr;  // the broker's server host while the channel is served
};

#endif  // VESKGAME_DEMO_CLIENT_H_
