// e2e_driver: drives the running program from outside as a user would, and reports what it shows.
//
// Each subcommand does one thing and prints JSON lines (UTF-8) that the end-to-end harness reads:
//   wait-window MS          wait for exactly one window with the program's caption
//   state                   the labels, the button's caption and any message box, once
//   click [MS [UNTIL]]      post a click to the button, then watch as below
//   key space|enter [MS [UNTIL]]  post a key to the window's focused control, then watch
//   watch MS [UNTIL]        a line at the start and at every change, for MS ms or until UNTIL:
//                           "box" (a message box is up) or "labels" (a result label changed);
//                           times count from the click or key, or from the start of the watch
//   close-box MS            press OK on the program's message box and wait for it to go
//   responsive MS           exit 0 only if the window answers a message within MS ms
//   close MS                close the window and wait for it to go
// Exit status: 0 done, 1 the window (or the box) was not found or did not answer, 2 usage.
// Every wait is bounded, and messages are sent with a time-out, so a frozen program never
// freezes the driver; clicks are posted, so a modal box of the program cannot block it either.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "app/main_window_win32.h"

namespace {

// Spelled here rather than taken from the program, so a wrong caption is caught too.
constexpr wchar_t kCaption[] = L"澜屿时间同步";
constexpr wchar_t kMessageBoxClass[] = L"#32770";
constexpr int kMessageBoxTextId = 0xFFFF;  // the static control that holds a message box's text
constexpr UINT kAnswerTimeoutMs = 150;
constexpr DWORD kPollMs = 10;

ULONGLONG startTick = 0;
long long Elapsed() {
    return static_cast<long long>(GetTickCount64() - startTick);
}

void Print(const std::string& line) {
    const std::string out = line + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), out.data(), static_cast<DWORD>(out.size()), &written,
              nullptr);
}

std::string Utf8(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), out.data(), size,
                        nullptr, nullptr);
    return out;
}

std::string Json(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// WM_GETTEXT with a time-out: nothing when the window's thread does not answer in time.
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

bool Answers(HWND window, UINT timeoutMs) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_BLOCK, timeoutMs, &result) != 0;
}

// The program's one window; null when there is none, or more than one (a run left behind).
HWND FindProgramWindow() {
    HWND found = nullptr;
    for (HWND w = FindWindowExW(nullptr, nullptr, nullptr, kCaption); w;
         w = FindWindowExW(nullptr, w, nullptr, kCaption)) {
        if (found) {
            Print("{\"error\":\"more than one window with the caption\"}");
            return nullptr;
        }
        found = w;
    }
    return found;
}

struct BoxSearch {
    DWORD process;
    HWND box;
};

BOOL CALLBACK MatchBox(HWND window, LPARAM context) {
    auto& search = *reinterpret_cast<BoxSearch*>(context);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[32] = {};
    GetClassNameW(window, className, 32);
    if (process == search.process && IsWindowVisible(window) &&
        std::wstring_view(className) == kMessageBoxClass) {
        search.box = window;
        return FALSE;
    }
    return TRUE;
}

// A message box that the program's process shows, owned or not.
HWND FindMessageBox(HWND programWindow) {
    BoxSearch search{0, nullptr};
    GetWindowThreadProcessId(programWindow, &search.process);
    EnumWindows(MatchBox, reinterpret_cast<LPARAM>(&search));
    return search.box;
}

struct State {
    bool answered = false;
    std::wstring clock, before, after, button;
    bool box = false;
    std::wstring boxCaption, boxText;

    bool SameResult(const State& o) const {
        return answered == o.answered && before == o.before && after == o.after &&
               button == o.button && box == o.box && boxCaption == o.boxCaption &&
               boxText == o.boxText;
    }
};

State ReadState(HWND window) {
    State s;
    if (HWND box = FindMessageBox(window)) {
        s.box = true;
        s.boxCaption = ReadText(box).value_or(L"");
        s.boxText = ReadText(GetDlgItem(box, kMessageBoxTextId)).value_or(L"");
    }
    if (!Answers(window, kAnswerTimeoutMs)) return s;
    const auto clock = ReadText(GetDlgItem(window, k透明标签1Id));
    const auto before = ReadText(GetDlgItem(window, k透明标签3系统时间Id));
    const auto after = ReadText(GetDlgItem(window, k透明标签3网络时间Id));
    const auto button = ReadText(GetDlgItem(window, k按钮同步时间Id));
    if (!clock || !before || !after || !button) return s;
    s.answered = true;
    s.clock = *clock;
    s.before = *before;
    s.after = *after;
    s.button = *button;
    return s;
}

void PrintState(const State& s) {
    std::string line =
        "{\"t\":" + std::to_string(Elapsed()) + ",\"answered\":" + (s.answered ? "true" : "false");
    if (s.answered) {
        line += ",\"clock\":" + Json(Utf8(s.clock)) + ",\"before\":" + Json(Utf8(s.before)) +
                ",\"after\":" + Json(Utf8(s.after)) + ",\"button\":" + Json(Utf8(s.button));
    }
    if (s.box) {
        line += ",\"box\":{\"caption\":" + Json(Utf8(s.boxCaption)) +
                ",\"text\":" + Json(Utf8(s.boxText)) + "}";
    } else {
        line += ",\"box\":null";
    }
    Print(line + "}");
}

enum class Until { Nothing, Box, Labels };

// Reading the labels waits for the window's thread, so the moment a message box appears is taken
// by a thread of its own that only looks for it: how long a click held the window, to a few ms.
struct BoxSpotter {
    HWND window;
    std::atomic<long long> seenAt{-1};
    std::atomic<bool> stop{false};
};

DWORD WINAPI SpotBox(void* context) {
    auto& spotter = *static_cast<BoxSpotter*>(context);
    while (!spotter.stop && spotter.seenAt < 0) {
        if (FindMessageBox(spotter.window)) spotter.seenAt = Elapsed();
        Sleep(2);
    }
    return 0;
}

// Prints a line at every change of what a synchronisation shows, for at most `milliseconds`, or
// until the condition holds. Changes count from `first`, read before any click or key was posted.
void Watch(HWND window, long long milliseconds, Until until, State first) {
    const long long end = Elapsed() + milliseconds;
    State last = first;
    BoxSpotter spotter{window};
    HANDLE spotterThread = CreateThread(nullptr, 0, SpotBox, &spotter, 0, nullptr);
    const auto printBoxSeen = [&] {
        if (spotter.seenAt >= 0)
            Print("{\"box_seen\":" + std::to_string(spotter.seenAt.load()) + "}");
    };
    const auto finish = [&](const char* how) {
        spotter.stop = true;
        if (spotterThread) {
            WaitForSingleObject(spotterThread, 1000);
            CloseHandle(spotterThread);
        }
        printBoxSeen();
        Print("{\"t\":" + std::to_string(Elapsed()) + ",\"end\":\"" + how + "\"}");
    };
    while (Elapsed() < end) {
        if (!IsWindow(window)) return finish("window gone");
        const State now = ReadState(window);
        if (!now.SameResult(last)) {
            PrintState(now);
            last = now;
        }
        if (until == Until::Box && now.box) return finish("box");
        if (until == Until::Labels && now.answered &&
            (now.before != first.before || now.after != first.after))
            return finish("labels");
        Sleep(kPollMs);
    }
    finish("time");
}

// The state before an action, printed, with the moment of the action as the origin of time.
State Baseline(HWND window) {
    const State first = ReadState(window);
    startTick = GetTickCount64();
    PrintState(first);
    return first;
}

std::optional<Until> ParseUntil(const char* word) {
    const std::string_view w = word ? word : "";
    if (w.empty()) return Until::Nothing;
    if (w == "box") return Until::Box;
    if (w == "labels") return Until::Labels;
    return std::nullopt;
}

int Usage() {
    std::fputs(
        "usage: e2e_driver wait-window MS | state | click [MS [box|labels]] |\n"
        "       key space|enter [MS [box|labels]] | watch MS [box|labels] | close-box MS |\n"
        "       responsive MS | close MS\n",
        stderr);
    return 2;
}

int WaitWindow(long long milliseconds) {
    const long long end = Elapsed() + milliseconds;
    while (Elapsed() < end) {
        HWND window = FindProgramWindow();
        if (window && IsWindowVisible(window) && Answers(window, kAnswerTimeoutMs)) {
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            Print("{\"t\":" + std::to_string(Elapsed()) + ",\"pid\":" + std::to_string(process) +
                  "}");
            return 0;
        }
        Sleep(kPollMs);
    }
    Print("{\"error\":\"no window\"}");
    return 1;
}

void PostKey(HWND target, WPARAM key, UINT scanCode) {
    PostMessageW(target, WM_KEYDOWN, key, static_cast<LPARAM>(1 | (scanCode << 16)));
    PostMessageW(target, WM_KEYUP, key, static_cast<LPARAM>(1 | (scanCode << 16) | 0xC0000000u));
}

// The key goes where the keyboard would send it: the focused control of the window's thread.
int PressKey(HWND window, std::string_view name) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    const DWORD thread = GetWindowThreadProcessId(window, nullptr);
    if (!GetGUIThreadInfo(thread, &info) || !info.hwndFocus) {
        Print("{\"error\":\"no focused control\"}");
        return 1;
    }
    Print("{\"focus\":" + std::to_string(GetDlgCtrlID(info.hwndFocus)) + "}");
    if (name == "space") {
        PostKey(info.hwndFocus, VK_SPACE, 0x39);
    } else {
        PostKey(info.hwndFocus, VK_RETURN, 0x1C);
    }
    return 0;
}

int CloseBox(HWND window, long long milliseconds) {
    HWND box = FindMessageBox(window);
    if (!box) {
        Print("{\"error\":\"no message box\"}");
        return 1;
    }
    HWND ok = GetDlgItem(box, IDOK);
    if (ok) {
        PostMessageW(ok, BM_CLICK, 0, 0);
    } else {
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
    const long long end = Elapsed() + milliseconds;
    while (Elapsed() < end) {
        if (!IsWindow(box)) return 0;
        Sleep(kPollMs);
    }
    Print("{\"error\":\"the message box stayed\"}");
    return 1;
}

int CloseWindow(HWND window, long long milliseconds) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    const long long end = Elapsed() + milliseconds;
    while (Elapsed() < end) {
        if (!IsWindow(window)) return 0;
        Sleep(kPollMs);
    }
    Print("{\"error\":\"the window stayed\"}");
    return 1;
}

long long Number(const char* text, long long fallback) {
    return text ? std::atoll(text) : fallback;
}

}  // namespace

int main(int argc, char** argv) {
    startTick = GetTickCount64();
    if (argc < 2) return Usage();
    const std::string_view command = argv[1];
    const char* arg2 = argc > 2 ? argv[2] : nullptr;
    const char* arg3 = argc > 3 ? argv[3] : nullptr;
    const char* arg4 = argc > 4 ? argv[4] : nullptr;

    if (command == "wait-window") return WaitWindow(Number(arg2, 10000));

    HWND window = FindProgramWindow();
    if (!window) {
        Print("{\"error\":\"no window\"}");
        return 1;
    }
    if (command == "state") {
        PrintState(ReadState(window));
        return 0;
    }
    if (command == "click" || command == "watch") {
        const bool click = command == "click";
        const auto until = ParseUntil(arg3);
        if (!until) return Usage();
        const State first = Baseline(window);
        if (click) PostMessageW(GetDlgItem(window, k按钮同步时间Id), BM_CLICK, 0, 0);
        const long long watchMs = Number(arg2, 0);
        if (watchMs > 0) Watch(window, watchMs, *until, first);
        return 0;
    }
    if (command == "key") {
        const std::string_view name = arg2 ? arg2 : "";
        const auto until = ParseUntil(arg4);
        if ((name != "space" && name != "enter") || !until) return Usage();
        const State first = Baseline(window);
        if (const int status = PressKey(window, name); status != 0) return status;
        const long long watchMs = Number(arg3, 0);
        if (watchMs > 0) Watch(window, watchMs, *until, first);
        return 0;
    }
    if (command == "close-box") return CloseBox(window, Number(arg2, 5000));
    if (command == "responsive") {
        const bool answered = Answers(window, static_cast<UINT>(Number(arg2, 2000)));
        Print(std::string("{\"responsive\":") + (answered ? "true" : "false") + "}");
        return answered ? 0 : 1;
    }
    if (command == "close") return CloseWindow(window, Number(arg2, 5000));
    return Usage();
}
