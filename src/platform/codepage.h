// Code-page seam: the ANSI code page of narrow Windows calls, and the program's path.
#pragma once
#include <string>

// ANSI code page to UTF-8, and back without best-fit mappings (a character the code
// page lacks becomes its default character, never a look-alike such as "/").
// On POSIX narrow text is taken as UTF-8 already: both are the identity.
std::string ansiToUtf8(const std::string& ansi);
std::string utf8ToAnsi(const std::string& utf8);
// UTF-16 <-> ANSI code page (Windows only uses these for window texts).
std::wstring ansiToWide(const std::string& ansi);
std::string wideToAnsi(const std::wstring& wide);
// From now on the calling thread names files in UTF-8 whatever the ANSI code page: its
// narrow paths (files.h) and the names ansiToUtf8 and utf8ToAnsi convert are UTF-8, so it
// reaches names in any script. Browser access's threads do; port 2904 keeps the code
// page's names. POSIX names are bytes, taken as UTF-8 already: nothing changes there.
void useUtf8Names();
// Windows: a path as the calling thread's narrow paths spell it, and back.
std::wstring pathToWide(const std::string& path);
std::string wideToPath(const std::wstring& wide);
// The full path of the running executable, in the ANSI code page.
std::string programPath();
