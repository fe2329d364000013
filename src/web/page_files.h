// The browser page's files (src/web/page/), made into the program's data at build time
// by cmake/embed_page.cmake.
#pragma once
#include <cstddef>

extern const char kPageHtml[];  // the page, with {{LANG}}, {{NONCE}}, {{STYLE}}, {{TEXTS}}, {{SCRIPT}}
extern const char kPageStyle[];
extern const char kPageScript[];

// One table per language: a flat JSON object, key to text.
struct PageTexts {
    const char* language;  // "en", "es", "ru"
    const char* json;
};
extern const PageTexts kPageTexts[];
extern const size_t kPageTextsCount;
