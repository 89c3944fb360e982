// DesktopKeeper.exe: holds the desktop of the shared test prefix open until the prefix's
// wineserver is stopped. Wine closes a desktop about a second after the last program
// using it has ended; a test program that starts within that second can see the desktop
// go away under it, and its first window then fails to appear. The keeper uses the
// desktop and never ends, so the desktop and its explorer stay up between test programs.
#include <windows.h>

int wmain() {
    GetDesktopWindow();
    Sleep(INFINITE);
    return 0;
}
