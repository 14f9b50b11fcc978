// GBK from UTF-8 through the Windows code page tables, independent of the program's constants.
#include <windows.h>

#include <stdexcept>

#include "tests/gbk.h"

std::string Gbk(std::string_view utf8) {
    if (utf8.empty()) return {};
    const int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(),
                                               static_cast<int>(utf8.size()), nullptr, 0);
    if (wideLength == 0) throw std::runtime_error("not UTF-8");
    std::wstring wide(wideLength, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                        wideLength);
    const int length =
        WideCharToMultiByte(936, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
    std::string gbk(length, '\0');
    WideCharToMultiByte(936, 0, wide.data(), wideLength, gbk.data(), length, nullptr, nullptr);
    return gbk;
}
