#include "web/browser_page.h"

#include <cstring>

#include "web/page_files.h"

namespace {
void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

const PageTexts& textsOf(const std::string& language) {
    for (size_t i = 0; i < kPageTextsCount; ++i)
        if (language == kPageTexts[i].language) return kPageTexts[i];
    for (size_t i = 0; i < kPageTextsCount; ++i)
        if (!strcmp(kPageTexts[i].language, "en")) return kPageTexts[i];
    return kPageTexts[0];
}
}  // namespace

std::string browserPageHtml(const std::string& language, const std::string& nonce) {
    const PageTexts& texts = textsOf(language);
    // The table sits in a data block of the page: no '<' may close it early.
    std::string json = texts.json;
    replaceAll(json, "<", "\\u003c");
    std::string page = kPageHtml;
    // The placeholders of the page itself first: the pieces put in later are left as they are.
    replaceAll(page, "{{LANG}}", texts.language);
    replaceAll(page, "{{NONCE}}", nonce);
    size_t at = page.find("{{TEXTS}}");
    if (at != std::string::npos) page.replace(at, 9, json);
    at = page.find("{{STYLE}}");
    if (at != std::string::npos) page.replace(at, 9, kPageStyle);
    at = page.find("{{SCRIPT}}");
    if (at != std::string::npos) page.replace(at, 10, kPageScript);
    return page;
}

std::string browserPageSecurityPolicy(const std::string& nonce) {
    return "default-src 'none'; script-src 'nonce-" + nonce + "'; style-src 'nonce-" + nonce +
           "'; img-src data:; connect-src 'self'; form-action 'none'; frame-ancestors 'none'; base-uri 'none'";
}
