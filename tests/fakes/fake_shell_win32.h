// A shell for tests: records what it was asked to open and answers as the test tells it.
#pragma once

#include <string>
#include <vector>

namespace fake_shell {

void Reset(bool opens);
const std::vector<std::wstring>& Opened();

}  // namespace fake_shell
