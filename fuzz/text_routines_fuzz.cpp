// The byte-string routines on any input: xmlTagValue on documents from a banner server,
// and the search, copy, replace and trim routines it and the other readers build on.
// Results stay inside their bounds and agree with the plain meaning of each routine.
#include <string>

#include "core/text_routines.h"
#include "fuzz_check.h"

namespace {
// The name is the input up to its first NUL (or 20 bytes), the document the rest.
void checkXmlTagValue(const std::string& input) {
    size_t cut = input.find('\0');
    if (cut == std::string::npos || cut > 20) cut = input.size() < 20 ? input.size() : 20;
    const std::string name = input.substr(0, cut);
    const std::string document = input.substr(cut < input.size() ? cut + 1 : cut);
    std::string value = xmlTagValue(document, name);
    FUZZ_CHECK(value.size() <= 253);
    FUZZ_CHECK(value.find('\0') == std::string::npos);
    if (!value.empty()) {
        const std::string text(document.c_str());
        FUZZ_CHECK(name.size() <= 16 && name.find('\0') == std::string::npos);
        size_t open = text.find("<" + name + ">"), close = text.find("</" + name + ">");
        FUZZ_CHECK(open != std::string::npos && close != std::string::npos);
        // Decoding only ever shortens the value.
        FUZZ_CHECK(value.size() <= close - (open + name.size() + 2));
    }
}

void checkSearchAndCopy(const std::string& input, int start, int count) {
    const std::string text(input.c_str());
    const std::string pattern = text.substr(0, text.size() % 5);
    int at = findText(input, pattern, start);
    if (text.empty()) FUZZ_CHECK(at == -1);
    if (at >= 0) {
        FUZZ_CHECK(at >= (start < 0 ? 0 : start));
        if (!pattern.empty()) FUZZ_CHECK(text.compare(static_cast<size_t>(at), pattern.size(), pattern) == 0);
    }
    std::string piece = copyRange(input, start, count);
    FUZZ_CHECK(piece.size() <= text.size());
    if (count > 0) FUZZ_CHECK(piece.size() <= static_cast<size_t>(count));
    if (!piece.empty()) FUZZ_CHECK(text.compare(static_cast<size_t>(start), piece.size(), piece) == 0);

    // Every replacement the program makes is no longer than its pattern.
    if (!pattern.empty()) {
        std::string shorter = replaceAll(pattern, pattern.substr(0, pattern.size() / 2), input);
        FUZZ_CHECK(shorter.size() <= text.size());
    }
    std::string word = trimField(input);
    FUZZ_CHECK(word.find(' ') == std::string::npos && word.size() <= text.size());
    if (!word.empty()) FUZZ_CHECK(text.find(word) != std::string::npos);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    checkXmlTagValue(input);
    uint32_t seed = inputHash(data, size);
    int start = static_cast<int>(seed % 64) - 8, count = static_cast<int>((seed >> 8) % 64) - 8;
    checkSearchAndCopy(input, start, count);
    return 0;
}
