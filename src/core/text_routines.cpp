#include "core/text_routines.h"

#include <cstring>

#include "platform/codepage.h"
#include "platform/files.h"

namespace {
// The program's strings are NUL-terminated: an embedded NUL ends them.
std::string asByteString(const std::string& s) { return std::string(s.c_str()); }
}  // namespace

int findText(const std::string& rawText, const std::string& rawPattern, int start) {
    std::string text = asByteString(rawText), pattern = asByteString(rawPattern);
    if (text.empty()) return -1;
    if (start < 0) start = 0;
    if (static_cast<size_t>(start) > text.size()) return pattern.empty() ? start : -1;
    size_t at = text.find(pattern, static_cast<size_t>(start));
    return at == std::string::npos ? -1 : static_cast<int>(at);
}

std::string copyRange(const std::string& rawText, int start, int count) {
    std::string text = asByteString(rawText);
    if (start < 0 || static_cast<size_t>(start) >= text.size() || count < 0) return std::string();
    if (count == 0) return text.substr(static_cast<size_t>(start));
    return text.substr(static_cast<size_t>(start), static_cast<size_t>(count));
}

std::string fillPlaceholders(const std::string& text, const std::string& first, const std::string& second) {
    std::string result;
    int filled = 0;
    size_t position = 0;
    for (size_t found; (found = text.find("%s", position)) != std::string::npos; position = found + 2) {
        result.append(text, position, found - position);
        result += filled++ == 0 ? first : filled == 2 ? second : std::string();
    }
    return result + text.substr(position);
}

std::string fillNumbers(const std::string& text, long long first) {
    return fillPlaceholders(replaceAll("%d", "%s", text), std::to_string(first));
}

std::string fillNumbers(const std::string& text, long long first, long long second) {
    return fillPlaceholders(replaceAll("%d", "%s", text), std::to_string(first), std::to_string(second));
}

std::string replaceAll(const std::string& pattern, const std::string& replacement, const std::string& rawText) {
    std::string text = asByteString(rawText), result;
    if (pattern.empty()) return text;
    int position = 0;
    while (static_cast<size_t>(position) < text.size()) {
        int found = findText(text, pattern, position);
        if (found < 0) {
            result.append(text, static_cast<size_t>(position), std::string::npos);
            break;
        }
        result.append(text, static_cast<size_t>(position), static_cast<size_t>(found - position));
        result += replacement;
        position = found + static_cast<int>(pattern.size());
    }
    return result;
}

std::string xmlTagValue(const std::string& document, const std::string& name) {
    if (name.size() > 16) return std::string();  // the closing tag must fit its 20-byte field
    const std::string open = "<" + name + ">", close = "</" + name + ">";
    int openAt = findText(document, open, 0);
    int closeAt = findText(document, close, 0);
    if (openAt < 0 || closeAt < 0) return std::string();
    int start = openAt + static_cast<int>(open.size());
    int length = closeAt - start;
    if (length <= 0 || length + 2 > 255) return std::string();
    std::string value = copyRange(document, start, length);
    value = replaceAll("&amp;", "&", value);
    value = replaceAll("&lt;", "<", value);
    value = replaceAll("&gt;", ">", value);
    value = replaceAll("&quot;", "\"", value);
    return value;
}

std::string trimField(const std::string& rawField) {
    std::string field = asByteString(rawField);
    size_t first = field.find_first_not_of(' ');
    if (first == std::string::npos) return std::string();
    size_t space = field.find(' ', first);
    return field.substr(first, space == std::string::npos ? std::string::npos : space - first);
}

std::string moduleDirectory() {
    std::string path = programPath();
    size_t slash = path.find_last_of(kPathSeparator);
    if (slash != std::string::npos) path.resize(slash + 1);
    if (path.size() > 259) path.resize(259);  // the caller's field holds 260 bytes
    return path;
}

bool toUtf8InPlace(std::string& text, size_t maxBytes) {
    std::string utf8 = ansiToUtf8(asByteString(text));
    if (utf8.size() > maxBytes) return false;
    text = utf8;
    return true;
}

std::string fromUtf8(const std::string& utf8) { return utf8ToAnsi(asByteString(utf8)); }
