// Holds the Wine desktop of a test run. Wine starts its desktop process for the first window
// of a session, and that process inherits the output of the program that made the window:
// a test program whose output CTest reads would then look unfinished until the desktop
// process ends. The test scripts start this program before any test, with its output in a
// file of its own; it makes the desktop, says so, and stays a user of the desktop (so that
// Wine keeps the desktop process up) until the run's wineserver ends it.
#include <stdio.h>
#include <windows.h>

int main() {
  if (!::GetDesktopWindow())
    return 1;
  printf("desktop ready\n");
  fflush(stdout);
  ::Sleep(INFINITE);
  return 0;
}
