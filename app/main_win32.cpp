// Program entry: a safe DLL search, then the window's whole run.
#include <windows.h>

#include "app/main_window_win32.h"

namespace {

// The program may run elevated from a downloads folder, where a planted DLL must never load.
// Looked up at run time, so a Windows without the call still starts.
void LoadDllsFromSystemFolderOnly() {
    using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
    const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
    if (setDefault) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    LoadDllsFromSystemFolderOnly();
    return RunMainWindow(instance, showCommand);
}
