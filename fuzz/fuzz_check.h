// What every fuzz target shares: a check that stops the run with the failed condition,
// and an in-memory stream that hands its bytes out in pieces of varying length.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Unlike assert, stays on in every build type.
#define FUZZ_CHECK(condition)                                                             \
    do {                                                                                  \
        if (!(condition)) {                                                               \
            fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            abort();                                                                      \
        }                                                                                 \
    } while (0)

// How a memory stream cuts its bytes into receives.
enum class Pieces { OneByte, Whole, Random };

// A source for startReader (transfer/protocol.h). When the bytes are used up it reports
// endResult: 0 for a close, <0 for an error or a time-out, as a socket would.
struct MemoryStream {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t at = 0;
    Pieces pieces = Pieces::Whole;
    uint32_t state = 1;  // the split points' generator
    int endResult = 0;
};

// FNV-1a: the split points follow from the input itself, so a run can be repeated.
inline uint32_t inputHash(const uint8_t* data, size_t size) {
    uint32_t h = 2166136261u;
    for (size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
    return h ? h : 1;
}

inline uint32_t nextRandom(uint32_t& state) {  // xorshift32
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

inline int receiveFromMemory(void* source, char* buffer, int size) {
    MemoryStream& s = *static_cast<MemoryStream*>(source);
    if (s.at >= s.size) return s.endResult;
    size_t left = s.size - s.at;
    size_t piece = left;
    if (s.pieces == Pieces::OneByte) {
        piece = 1;
    } else if (s.pieces == Pieces::Random) {
        // Mostly short pieces, now and then a long one.
        uint32_t r = nextRandom(s.state);
        piece = (r & 7) == 0 ? 1 + (r >> 8) % 30000 : 1 + (r >> 8) % 40;
    }
    if (piece > left) piece = left;
    if (piece > static_cast<size_t>(size)) piece = static_cast<size_t>(size);
    memcpy(buffer, s.data + s.at, piece);
    s.at += piece;
    return static_cast<int>(piece);
}
