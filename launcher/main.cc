// Entry point of the launcher: a windowless GUI program that does one job and exits 0.
#include <windows.h>

#include "launcher/launch_controller.h"
#include "launcher/launch_options.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  GetLaunchOptions().Parse(GetCommandLineW());
  LaunchController controller;
  controller.Run();
  return 0;
}
