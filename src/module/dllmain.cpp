// Load/unload entry of vantor.dll. The library keeps no state and owns no
// resource between calls, so there is nothing to set up or tear down: every
// notification (process and thread attach and detach) simply succeeds.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD /*reason*/, LPVOID /*reserved*/) {
    return TRUE;
}
