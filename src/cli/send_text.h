// quorvalinthexa send --text: words to a trusted computer instead of files.
#pragma once
#include <string>

// The words of --text (standard input for "-") go to host; the exit status as the help
// of send tells it.
int sendTextTo(const std::string& host, const std::string& words);
