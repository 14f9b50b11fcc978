// GBK from UTF-8 through iconv, an encoder independent of the program's own constants.
#include <iconv.h>

#include <stdexcept>
#include <vector>

#include "tests/gbk.h"

std::string Gbk(std::string_view utf8) {
    iconv_t cd = iconv_open("GBK", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv has no GBK");
    std::vector<char> in(utf8.begin(), utf8.end());
    std::vector<char> out(utf8.size() * 2 + 4);
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size(), outLeft = out.size();
    const std::size_t done = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (done == static_cast<std::size_t>(-1)) throw std::runtime_error("not convertible to GBK");
    return std::string(out.data(), out.size() - outLeft);
}
