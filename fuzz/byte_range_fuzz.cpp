// A Range field and an If-Range as a download reads them: whatever the bytes, the choice
// ends, and a part it picks lies inside the file.
#include <cstdint>
#include <string_view>

#include "fuzz_check.h"
#include "web/byte_range.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    int64_t length = 0;
    for (int i = 0; i < 8; ++i) length = (length << 8) | data[i];
    length &= INT64_MAX;
    std::string_view rest(reinterpret_cast<const char*>(data + 8), size - 8);
    size_t split = rest.find('\n');
    std::string_view range = rest.substr(0, split), ifRange = split == rest.npos ? "" : rest.substr(split + 1);
    ByteRange chosen;
    RangeAnswer answer = chooseRange(range, ifRange, "\"1-2-3\"", length, &chosen);
    if (answer == RangeAnswer::Part) {
        FUZZ_CHECK(chosen.first >= 0 && chosen.length > 0);
        FUZZ_CHECK(chosen.first < length && chosen.length <= length - chosen.first);
    } else {
        FUZZ_CHECK(chosen.first == 0 && chosen.length == length);
    }
    return 0;
}
