#include "core/texts.h"

namespace {
struct Entry {
    int id;
    const char* text;
};
const Entry kEnglish[] = {
#define QV_TEXT(id, text) {id, text},
#include "strings_en.def"
#undef QV_TEXT
};
}  // namespace

const char* englishText(int id) {
    for (const Entry& e : kEnglish)
        if (e.id == id) return e.text;
    return "";
}
