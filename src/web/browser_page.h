// The page a browser gets: one self-contained HTML file (its style and script inline, no
// other resource), in the program's language. Its files are src/web/page/.
#pragma once
#include <string>

// language: "en", "es" or "ru"; anything else gives English. nonce marks the page's own
// style and script, the only ones its Content-Security-Policy lets run.
std::string browserPageHtml(const std::string& language, const std::string& nonce);

// The policy that goes with a page of that nonce.
std::string browserPageSecurityPolicy(const std::string& nonce);
