// This computer's name as its user knows it (the host name; Windows: the computer name),
// in UTF-8: what a pairing shows the other side. "" when the system tells none.
#pragma once
#include <string>

std::string computerName();
