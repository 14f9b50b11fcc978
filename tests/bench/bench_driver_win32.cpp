// bench_driver: starts, clicks and measures the program from outside, for scripts/bench.
//
// Each subcommand prints JSON lines (UTF-8) that tests/bench/bench.py reads:
//   launch EXE SETTLE_MS    start EXE, time it to its first visible window and to the first
//                           answer from that window; after SETTLE_MS its figures; then close it
//   figures                 the program's process figures (memory, handles, GUI objects, times)
//   sync MS [second-start] [figures]
//                           click the button and time it until the result labels change (at most
//                           MS ms); second-start waits for the start of a UTC second first, so a
//                           reply of the present time lands within Wine's half second
//   held MS                 click and time it until the program's message box is up (at most MS
//                           ms); then press its OK
// Exit status: 0 done, 1 the window was not found or a wait ran out, 2 usage.
// Every wait is bounded, and every message to the program is sent with a time-out.
#include <windows.h>

#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "app/main_window_win32.h"

namespace {

constexpr wchar_t kCaption[] = L"澜屿时间同步";
constexpr wchar_t kMessageBoxClass[] = L"#32770";
constexpr UINT kAnswerTimeoutMs = 150;
constexpr DWORD kPollMs = 1;

LARGE_INTEGER frequency;

double Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

void Print(const std::string& line) {
    const std::string out = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written,
              nullptr);
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

std::string Utf8Json(std::wstring_view wide) {
    std::string utf8;
    if (!wide.empty()) {
        const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                             nullptr, 0, nullptr, nullptr);
        utf8.resize(static_cast<size_t>(size));
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), utf8.data(),
                            size, nullptr, nullptr);
    }
    std::string out = "\"";
    for (const char c : utf8) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

bool Answers(HWND window, UINT timeoutMs) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, timeoutMs, &result) != 0;
}

std::optional<std::wstring> ReadText(HWND window) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_BLOCK, kAnswerTimeoutMs, &length))
        return std::nullopt;
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                             SMTO_BLOCK, kAnswerTimeoutMs, &copied))
        return std::nullopt;
    text.resize(copied);
    return text;
}

HWND FindProgramWindow() {
    HWND window = FindWindowW(nullptr, kCaption);
    if (!window) Print("{\"error\":\"no window\"}");
    return window;
}

struct WindowSearch {
    DWORD process;
    const wchar_t* className;  // null: a visible top-level window without an owner
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<WindowSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != search.process || !IsWindowVisible(window)) return TRUE;
    if (search.className) {
        wchar_t className[32] = {};
        GetClassNameW(window, className, 32);
        if (std::wstring_view(className) != search.className) return TRUE;
    } else if (GetWindow(window, GW_OWNER)) {
        return TRUE;
    }
    search.found = window;
    return FALSE;
}

HWND FindVisibleWindowOf(DWORD process, const wchar_t* className) {
    WindowSearch search{process, className, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

DWORD ProcessOf(HWND window) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    return process;
}

// The system's handle table, as NtQuerySystemInformation gives it (SystemHandleInformation).
// Wine's GetProcessHandleCount yields 0 for another process; this table holds its real handles.
struct SystemHandleEntry {
    ULONG ownerPid;
    BYTE objectType;
    BYTE flags;
    USHORT value;
    PVOID object;
    ACCESS_MASK access;
};
struct SystemHandleTable {
    ULONG count;
    SystemHandleEntry entries[1];
};
constexpr int kSystemHandleInformation = 16;
constexpr LONG kStatusInfoLengthMismatch = static_cast<LONG>(0xC0000004);

std::optional<DWORD> HandlesInSystemTable(DWORD processId) {
    using QueryFn = LONG(WINAPI*)(int, PVOID, ULONG, PULONG);
    const auto query = reinterpret_cast<QueryFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    if (!query) return std::nullopt;
    std::string buffer(1 << 16, '\0');
    for (int tries = 0; tries < 8; ++tries) {
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(),
                                  static_cast<ULONG>(buffer.size()), &needed);
        if (status == kStatusInfoLengthMismatch) {
            buffer.resize(std::max<size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        if (status != 0) return std::nullopt;
        const auto* table = reinterpret_cast<const SystemHandleTable*>(buffer.data());
        DWORD count = 0;
        for (ULONG i = 0; i < table->count; ++i) {
            if (table->entries[i].ownerPid == processId) ++count;
        }
        return count;
    }
    return std::nullopt;
}

BOOL CALLBACK CountWindow(HWND, LPARAM context) {
    ++*reinterpret_cast<DWORD*>(context);
    return TRUE;
}

struct TopLevelCount {
    DWORD process;
    DWORD windows;
};

BOOL CALLBACK CountTopLevel(HWND window, LPARAM context) {
    auto& count = *reinterpret_cast<TopLevelCount*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process != count.process) return TRUE;
    ++count.windows;
    EnumChildWindows(window, CountWindow, reinterpret_cast<LPARAM>(&count.windows));
    return TRUE;
}

// The process's windows, top-level and child, shown or not: a window that is never destroyed
// stays counted, where Wine cannot count USER objects (GetGuiResources yields 0).
DWORD WindowsOf(DWORD processId) {
    TopLevelCount count{processId, 0};
    EnumWindows(CountTopLevel, reinterpret_cast<LPARAM>(&count));
    return count.windows;
}

// What Windows reports of a process; what Wine leaves at zero is seen as zero, not hidden.
std::string Figures(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (!process) return "{\"error\":\"OpenProcess failed\"}";
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    const BOOL haveMemory = GetProcessMemoryInfo(
        process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory);
    DWORD handles = 0;
    const BOOL haveHandles = GetProcessHandleCount(process, &handles);
    const DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
    const DWORD user = GetGuiResources(process, GR_USEROBJECTS);
    FILETIME created, exited, kernel, userTime;
    const BOOL haveTimes = GetProcessTimes(process, &created, &exited, &kernel, &userTime);
    CloseHandle(process);
    const auto hundredNs = [](const FILETIME& t) {
        return (static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    std::string line = "{\"pid\":" + std::to_string(processId) +
                       ",\"windows\":" + std::to_string(WindowsOf(processId));
    if (const auto inTable = HandlesInSystemTable(processId)) {
        line += ",\"handles_in_system_table\":" + std::to_string(*inTable);
    }
    if (haveMemory) {
        line += ",\"working_set\":" + std::to_string(memory.WorkingSetSize) +
                ",\"peak_working_set\":" + std::to_string(memory.PeakWorkingSetSize) +
                ",\"pagefile\":" + std::to_string(memory.PagefileUsage) +
                ",\"peak_pagefile\":" + std::to_string(memory.PeakPagefileUsage) +
                ",\"private\":" + std::to_string(memory.PrivateUsage);
    }
    if (haveHandles) line += ",\"handles\":" + std::to_string(handles);
    line += ",\"gdi_objects\":" + std::to_string(gdi) + ",\"user_objects\":" + std::to_string(user);
    if (haveTimes) {
        line += ",\"kernel_100ns\":" + std::to_string(hundredNs(kernel)) +
                ",\"user_100ns\":" + std::to_string(hundredNs(userTime));
    }
    return line + "}";
}

int Launch(const wchar_t* exe, DWORD settleMs) {
    std::wstring commandLine = L"\"" + std::wstring(exe) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    const double start = Now();
    if (!CreateProcessW(exe, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info)) {
        Print("{\"error\":\"CreateProcess failed\"}");
        return 1;
    }
    CloseHandle(info.hThread);
    const double limit = start + 30000;
    HWND window = nullptr;
    double shown = -1;
    double answered = -1;
    while (Now() < limit) {
        if (!window) window = FindVisibleWindowOf(info.dwProcessId, nullptr);
        if (window && shown < 0) shown = Now() - start;
        if (window && Answers(window, 50)) {
            answered = Now() - start;
            break;
        }
        if (WaitForSingleObject(info.hProcess, kPollMs) == WAIT_OBJECT_0) break;
    }
    int status = 0;
    if (answered < 0) {
        Print("{\"error\":\"no window\"}");
        status = 1;
    } else {
        Print("{\"shown_ms\":" + Number(shown) + ",\"answered_ms\":" + Number(answered) + "}");
        Sleep(settleMs);
        Print(Figures(info.dwProcessId));
        PostMessageW(window, WM_CLOSE, 0, 0);
    }
    if (WaitForSingleObject(info.hProcess, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(info.hProcess, 1);
        WaitForSingleObject(info.hProcess, 5000);
        Print("{\"error\":\"the program did not end with its window\"}");
        status = 1;
    }
    CloseHandle(info.hProcess);
    return status;
}

struct Labels {
    std::wstring before, after;
};

std::optional<Labels> ReadLabels(HWND window) {
    const auto before = ReadText(GetDlgItem(window, k透明标签3系统时间Id));
    const auto after = ReadText(GetDlgItem(window, k透明标签3网络时间Id));
    if (!before || !after) return std::nullopt;
    return Labels{*before, *after};
}

// Sleeps until `offsetMs` past the start of the next second of UTC.
void WaitForSecondStart(int offsetMs) {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    const unsigned long long ticks =
        (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    const auto intoSecondMs = static_cast<int>(ticks % 10000000 / 10000);
    Sleep(static_cast<DWORD>(1000 - intoSecondMs + offsetMs));
}

// The labels are written one after the other, 透明标签3网络时间 last: when it has changed, both
// have been written. Polled every millisecond, so the time is the click's to about 1 ms.
int Sync(HWND window, long long limitMs, bool secondStart, bool figures) {
    const auto first = ReadLabels(window);
    if (!first) {
        Print("{\"error\":\"the window does not answer\"}");
        return 1;
    }
    if (secondStart) WaitForSecondStart(20);
    const double start = Now();
    PostMessageW(GetDlgItem(window, k按钮同步时间Id), BM_CLICK, 0, 0);
    double afterChanged = -1;
    std::optional<Labels> last;
    while (Now() - start < static_cast<double>(limitMs)) {
        if (const auto now = ReadLabels(window)) {
            last = now;
            if (now->after != first->after) {
                afterChanged = Now() - start;
                // The two readings are apart in time: the handler may have run between them.
                if (const auto settled = ReadLabels(window)) last = settled;
                break;
            }
        }
        Sleep(kPollMs);
    }
    const bool answers = Answers(window, 2000);
    std::string line = "{\"after_ms\":" + (afterChanged < 0 ? "null" : Number(afterChanged)) +
                       ",\"answers\":" + (answers ? "true" : "false");
    const auto clock = ReadText(GetDlgItem(window, k透明标签1Id));
    const auto button = ReadText(GetDlgItem(window, k按钮同步时间Id));
    if (last)
        line += ",\"before\":" + Utf8Json(last->before) + ",\"after\":" + Utf8Json(last->after);
    if (clock) line += ",\"clock\":" + Utf8Json(*clock);
    if (button) line += ",\"button\":" + Utf8Json(*button);
    line +=
        ",\"box\":" +
        std::string(FindVisibleWindowOf(ProcessOf(window), kMessageBoxClass) ? "true" : "false");
    Print(line + "}");
    if (figures) Print(Figures(ProcessOf(window)));
    return afterChanged < 0 ? 1 : 0;
}

// From the click to the message box that ends the attempts: how long the window was held.
int Held(HWND window, long long limitMs) {
    const DWORD process = ProcessOf(window);
    if (!Answers(window, 2000)) {
        Print("{\"error\":\"the window does not answer\"}");
        return 1;
    }
    const double start = Now();
    PostMessageW(GetDlgItem(window, k按钮同步时间Id), BM_CLICK, 0, 0);
    HWND box = nullptr;
    while (!box && Now() - start < static_cast<double>(limitMs)) {
        box = FindVisibleWindowOf(process, kMessageBoxClass);
        if (!box) Sleep(kPollMs);
    }
    if (!box) {
        Print("{\"error\":\"no message box\"}");
        return 1;
    }
    const double held = Now() - start;
    const bool answers = Answers(window, 2000);
    const double answered = Now() - start;
    if (HWND ok = GetDlgItem(box, IDOK)) {
        PostMessageW(ok, BM_CLICK, 0, 0);
    } else {
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    const double closeLimit = Now() + 5000;
    while (IsWindow(box) && Now() < closeLimit) Sleep(kPollMs);
    const double closed = Now() - start;
    const auto button = ReadText(GetDlgItem(window, k按钮同步时间Id));
    const auto clock = ReadText(GetDlgItem(window, k透明标签1Id));
    Print("{\"held_ms\":" + Number(held) + ",\"answered_ms\":" + Number(answered) +
          ",\"box_closed_ms\":" + Number(closed) + ",\"read_ms\":" + Number(Now() - start) +
          ",\"answers_behind_box\":" + (answers ? "true" : "false") +
          ",\"box_closed\":" + (IsWindow(box) ? "false" : "true") +
          ",\"button\":" + (button ? Utf8Json(*button) : std::string("null")) +
          ",\"clock\":" + (clock ? Utf8Json(*clock) : std::string("null")) + "}");
    return IsWindow(box) ? 1 : 0;
}

int Usage() {
    std::fputs(
        "usage: bench_driver launch EXE SETTLE_MS | figures | sync MS [second-start] [figures] |\n"
        "       held MS\n",
        stderr);
    return 2;
}

bool HasWord(int argc, wchar_t** argv, int from, std::wstring_view word) {
    for (int i = from; i < argc; ++i) {
        if (word == argv[i]) return true;
    }
    return false;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    QueryPerformanceFrequency(&frequency);
    if (argc < 2) return Usage();
    const std::wstring_view command = argv[1];
    if (command == L"launch") {
        if (argc != 4) return Usage();
        return Launch(argv[2], static_cast<DWORD>(_wtoi(argv[3])));
    }
    HWND window = FindProgramWindow();
    if (!window) return 1;
    if (command == L"figures") {
        Print(Figures(ProcessOf(window)));
        return 0;
    }
    const long long limitMs = argc > 2 ? _wtoi64(argv[2]) : 10000;
    if (command == L"sync") {
        return Sync(window, limitMs, HasWord(argc, argv, 3, L"second-start"),
                    HasWord(argc, argv, 3, L"figures"));
    }
    if (command == L"held") return Held(window, limitMs);
    return Usage();
}
