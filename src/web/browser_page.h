// The page a browser gets: one self-contained HTML file (its style and script inline, no
// other resource), in the program's language.
#pragma once
#include <string>

// language: "en", "es" or "ru"; anything else gives English.
std::string browserPageHtml(const std::string& language);
