// The shell's "open" verb, for the mail link.
#include "app/shell_win32.h"

#include <windows.h>

#include <shellapi.h>

bool OpenWithShell(const wchar_t* target) {
    const HINSTANCE result =
        ShellExecuteW(nullptr, L"open", target, nullptr, nullptr, SW_SHOWNORMAL);
    // ShellExecute reports success as a value above 32.
    return reinterpret_cast<INT_PTR>(result) > 32;
}
