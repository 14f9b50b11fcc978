// The program's GBK texts at the Windows boundary: converted to UTF-16 wherever they are shown.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// Code page 936 named explicitly, so the texts read right on every Windows display language.
std::wstring WideFromGbk(std::string_view gbk);
std::string GbkFromWide(std::wstring_view wide);

void SetWindowTextGbk(HWND window, std::string_view gbk);
std::string GetWindowTextGbk(HWND window);

int MessageBoxGbk(HWND owner, std::string_view text, std::string_view caption, UINT type);
