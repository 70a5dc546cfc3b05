// Entry point of the demo client: runs as the client, or, with "-stop", ends the running
// client for the same OEM id and user.
#include <windows.h>

#include "VeskGame/client_control.h"
#include "VeskGame/demo_client.h"
#include "launcher/launch_options.h"
#include "launcher/option_keys.h"

namespace {

const unsigned long kStopTimeoutMs = 10000;

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  LaunchOptions& options = GetLaunchOptions();
  options.Parse(GetCommandLineW());
  if (options.HasValue(kStopKey)) {
    const bool stopped = RequestClientQuit(options.GetValue(kOemIdKey),
                                           options.GetValue(kUserIdKey), kStopTimeoutMs);
    return stopped ? 0 : 1;
  }
  return DemoClient(options).Run();
}
