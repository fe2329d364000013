// Discovery datagrams as they arrive from anyone on the network: the fields never
// outgrow their 15 bytes, the judgement follows from the fields alone, and every
// datagram this program writes reads back as written.
#include <climits>
#include <string>

#include "core/central_state.h"
#include "discovery/discovery.h"
#include "fuzz_check.h"

namespace {
void checkFields(const DiscoveryFields& f) {
    for (const std::string* field : {&f.tag, &f.kind}) {
        FUZZ_CHECK(field->size() <= 15);
        FUZZ_CHECK(field->find(' ') == std::string::npos);
        FUZZ_CHECK(field->find('\0') == std::string::npos);
    }
}

// A kind of up to 15 bytes without spaces or NULs, and a number, taken from the input.
void checkRoundTrip(const uint8_t* data, size_t size) {
    if (size < 4) return;
    int number = static_cast<int>(static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
                                  static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24);
    std::string kind;
    for (size_t i = 4; i < size && kind.size() < 15 && data[i] != ' ' && data[i] != '\0'; ++i)
        kind += static_cast<char>(data[i]);
    std::string datagram = discoveryDatagram(kind, number);
    FUZZ_CHECK(datagram.size() == static_cast<size_t>(kDiscoveryDatagramLength));
    DiscoveryFields back = parseDiscoveryDatagram(datagram.data(), static_cast<int>(datagram.size()));
    FUZZ_CHECK(back.tag == kDiscoveryTag && back.kind == kind && back.number == number);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    instanceNumber = 4242;
    const char* bytes = reinterpret_cast<const char*>(data);
    int length = size > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
    DiscoveryFields f = parseDiscoveryDatagram(bytes, length);
    checkFields(f);
    // Only the first 45 bytes count.
    if (length > kDiscoveryDatagramLength) {
        DiscoveryFields cut = parseDiscoveryDatagram(bytes, kDiscoveryDatagramLength);
        FUZZ_CHECK(cut.tag == f.tag && cut.kind == f.kind && cut.number == f.number);
    }
    DiscoveryAsk ask = judgeDiscoveryDatagram(bytes, length);
    bool ours = f.tag == kDiscoveryTag && f.number > 0 && f.number != instanceNumber;
    DiscoveryAsk expected = !ours                    ? DiscoveryAsk::Nothing
                            : f.kind == kNotifyKind  ? DiscoveryAsk::Notify
                            : f.kind == kRequestKind ? DiscoveryAsk::Request
                                                     : DiscoveryAsk::Nothing;
    FUZZ_CHECK(ask == expected);
    checkRoundTrip(data, size);
    return 0;
}
