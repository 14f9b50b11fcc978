// The fake shell that the Windows tests link instead of the real one.
#include "tests/fakes/fake_shell_win32.h"

#include "app/shell_win32.h"

namespace {
bool answer = true;
std::vector<std::wstring> opened;
}  // namespace

namespace fake_shell {

void Reset(bool opens) {
    answer = opens;
    opened.clear();
}

const std::vector<std::wstring>& Opened() {
    return opened;
}

}  // namespace fake_shell

bool OpenWithShell(const wchar_t* target) {
    opened.emplace_back(target);
    return answer;
}
