// Keeps Wine's desktop open for a whole test run. Wine closes the desktop, and ends its
// explorer process, about a second after the last program using it ends, and starts it
// again for the next program; a window created while that happens can fail to appear, and
// every test that opens a window pays a second for the restart. The desktop of a real
// Windows session never closes, so the test scripts start this first and `wineserver -k`
// ends it with the rest.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  // A program counts as using the desktop only once it has asked for it.
  GetDesktopWindow();
  Sleep(INFINITE);
  return 0;
}
