// Handing a link to the shell: the program's one way out to other programs.
#pragma once

// Opens the target with the shell's "open" verb, shown normally; true when the shell did.
// The program links the real one; the tests link a fake, so no test starts a mail program.
bool OpenWithShell(const wchar_t* target);
