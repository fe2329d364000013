#include "platform/codepage.h"

#include <windows.h>

namespace {
std::wstring toWide(UINT codePage, const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}
std::string fromWide(UINT codePage, DWORD flags, const std::wstring& wide) {
    if (wide.empty()) return std::string();
    int n = WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                nullptr);
    if (n <= 0) return std::string();
    std::string text(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), &text[0], n, nullptr, nullptr);
    return text;
}
// Best-fit mappings would turn look-alikes (a full-width slash) into separators.
DWORD ansiFlags() { return GetACP() == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS; }

// Whether the calling thread names files in UTF-8 (useUtf8Names): a slot of the system's
// own thread storage, which every thread has whoever started it.
DWORD utf8NamesSlot() {
    static const DWORD slot = TlsAlloc();
    return slot;
}
bool namesInUtf8() {
    return GetACP() == CP_UTF8 || (utf8NamesSlot() != TLS_OUT_OF_INDEXES && TlsGetValue(utf8NamesSlot()));
}
}  // namespace

void useUtf8Names() {
    if (utf8NamesSlot() != TLS_OUT_OF_INDEXES) TlsSetValue(utf8NamesSlot(), reinterpret_cast<void*>(1));
}

std::wstring pathToWide(const std::string& path) { return toWide(namesInUtf8() ? CP_UTF8 : CP_ACP, path); }

std::string wideToPath(const std::wstring& wide) {
    return namesInUtf8() ? fromWide(CP_UTF8, 0, wide) : fromWide(CP_ACP, ansiFlags(), wide);
}

std::string ansiToUtf8(const std::string& ansi) {
    if (namesInUtf8()) return ansi;
    return fromWide(CP_UTF8, 0, toWide(CP_ACP, ansi));
}

std::string utf8ToAnsi(const std::string& utf8) {
    if (namesInUtf8()) return fromWide(CP_UTF8, 0, toWide(CP_UTF8, utf8));  // drops invalid bytes
    return fromWide(CP_ACP, ansiFlags(), toWide(CP_UTF8, utf8));
}

std::wstring ansiToWide(const std::string& ansi) { return toWide(CP_ACP, ansi); }
std::string wideToAnsi(const std::wstring& wide) { return fromWide(CP_ACP, ansiFlags(), wide); }

std::string programPath() {
    wchar_t path[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return wideToAnsi(std::wstring(path, n));
}
