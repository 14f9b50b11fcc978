// Test helper: UTF-8 text, as the tests spell it, in the GBK bytes the program uses.
#pragma once

#include <string>
#include <string_view>

std::string Gbk(std::string_view utf8);
