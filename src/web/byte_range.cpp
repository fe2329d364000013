#include "web/byte_range.h"

#include <climits>
#include <cstdio>

#include "core/decimal_number.h"

namespace {
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The digits at the front of text, within 63 bits; false when there are none or too many.
bool takeNumber(std::string_view* text, int64_t* value) {
    size_t i = 0;
    while (i < text->size() && isDigit((*text)[i])) ++i;
    if (!readDecimal(text->substr(0, i), INT64_MAX, value)) return false;
    text->remove_prefix(i);
    return true;
}

void skipSpaces(std::string_view* text) {
    while (!text->empty() && (text->front() == ' ' || text->front() == '\t')) text->remove_prefix(1);
}

bool takeUnit(std::string_view* text) {
    static const char kUnit[] = "bytes=";
    if (text->size() < sizeof kUnit - 1) return false;
    for (size_t i = 0; i + 1 < sizeof kUnit; ++i) {
        char c = (*text)[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kUnit[i]) return false;
    }
    text->remove_prefix(sizeof kUnit - 1);
    return true;
}

enum class RangeForm { Malformed, Several, Range, Suffix };

// "a-b", "a-" (last = -1) or "-n" (a suffix of n bytes), nothing else around it.
RangeForm parseRangeForm(std::string_view text, int64_t* first, int64_t* last) {
    skipSpaces(&text);
    if (!takeUnit(&text)) return RangeForm::Malformed;
    skipSpaces(&text);
    bool suffix = !text.empty() && text.front() == '-';
    *first = *last = -1;
    if (!suffix && !takeNumber(&text, first)) return RangeForm::Malformed;
    if (text.empty() || text.front() != '-') return RangeForm::Malformed;
    text.remove_prefix(1);
    if (!text.empty() && isDigit(text.front()) && !takeNumber(&text, last)) return RangeForm::Malformed;
    skipSpaces(&text);
    if (!text.empty()) return text.front() == ',' ? RangeForm::Several : RangeForm::Malformed;
    if (suffix) return *last < 0 ? RangeForm::Malformed : RangeForm::Suffix;
    return *last >= 0 && *last < *first ? RangeForm::Malformed : RangeForm::Range;
}
}  // namespace

std::string fileEntityTag(const FileStamp& stamp) {
    char tag[80];
    std::snprintf(tag, sizeof tag, "\"%llx-%llx-%llx\"", static_cast<unsigned long long>(stamp.size),
                  static_cast<unsigned long long>(stamp.modified), static_cast<unsigned long long>(stamp.number));
    return tag;
}

RangeAnswer chooseRange(std::string_view range, std::string_view ifRange, std::string_view tag, int64_t size,
                        ByteRange* chosen) {
    chosen->first = 0;
    chosen->length = size;
    if (range.empty() || size < 0) return RangeAnswer::Whole;
    // Only the same strong tag lets a range through: a date, a weak or another tag asks
    // for the whole file, which has changed or may have.
    if (!ifRange.empty() && ifRange != tag) return RangeAnswer::Whole;
    int64_t first = 0, last = 0;
    RangeForm form = parseRangeForm(range, &first, &last);
    if (form == RangeForm::Malformed || form == RangeForm::Several) return RangeAnswer::Whole;
    if (form == RangeForm::Suffix) {
        if (last == 0 || size == 0) return RangeAnswer::Unsatisfiable;
        first = last >= size ? 0 : size - last;
        last = size - 1;
    } else {
        if (first >= size) return RangeAnswer::Unsatisfiable;
        if (last < 0 || last >= size) last = size - 1;
    }
    chosen->first = first;
    chosen->length = last - first + 1;
    return RangeAnswer::Part;
}
