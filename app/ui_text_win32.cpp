// Conversions between the program's GBK texts and the UTF-16 that the W functions take.
#include "app/ui_text_win32.h"

namespace {
constexpr UINT kGbkCodePage = 936;
}

std::wstring WideFromGbk(std::string_view gbk) {
    if (gbk.empty()) return {};
    const int size = static_cast<int>(gbk.size());
    const int length = MultiByteToWideChar(kGbkCodePage, 0, gbk.data(), size, nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(kGbkCodePage, 0, gbk.data(), size, wide.data(), length);
    return wide;
}

std::string GbkFromWide(std::wstring_view wide) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(kGbkCodePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    std::string gbk(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(kGbkCodePage, 0, wide.data(), size, gbk.data(), length, nullptr, nullptr);
    return gbk;
}

void SetWindowTextGbk(HWND window, std::string_view gbk) {
    SetWindowTextW(window, WideFromGbk(gbk).c_str());
}

std::string GetWindowTextGbk(HWND window) {
    std::wstring wide(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    wide.resize(static_cast<std::size_t>(
        GetWindowTextW(window, wide.data(), static_cast<int>(wide.size()))));
    return GbkFromWide(wide);
}

int MessageBoxGbk(HWND owner, std::string_view text, std::string_view caption, UINT type) {
    return MessageBoxW(owner, WideFromGbk(text).c_str(), WideFromGbk(caption).c_str(), type);
}
