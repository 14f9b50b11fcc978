// Transparent label: a single centred line of black text over whatever lies beneath it.
#pragma once

#include <windows.h>

#include <string_view>

HWND CreateTransparentLabel(HWND parent, int id, RECT place, std::string_view gbkText);

// Setting the text repaints the area beneath first, so nothing of the old text remains.
void SetLabelText(HWND label, std::string_view gbkText);
