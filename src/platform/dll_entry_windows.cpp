// The entry routine of korvale.dll. Loading the library starts nothing of its own and unloading
// releases nothing: on process attach it only turns off the per-thread attach and detach calls,
// which it has no use for. (A shared library elsewhere has no entry routine of its own.)
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        ::DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}
