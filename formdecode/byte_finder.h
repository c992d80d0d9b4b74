// Where the bytes `A` and `B` stand in a text, in order, found a block of
// bytes at a time: 16 with SSE2, 8 elsewhere (and with CGI_NO_SSE2, which the
// portable builds of the tests use, so that this path cannot rot). A form's
// decoding and its mail's layout stop at a percent sign or a line break every
// few bytes, and a search call for each cost more than the work between
// them.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#if defined(__SSE2__) && !defined(CGI_NO_SSE2)
#include <emmintrin.h>
#endif

template <char A, char B = A>
class ByteFinder {
public:
    explicit ByteFinder(std::string_view text) : block(text.data()), end(text.data() + text.size()) { load(); }

    // The next A or B, or the end of the text.
    const char* next()
    {
        while (found == 0) {
            block += blockSize;
            if (block >= end)
                return end;
            load();
        }
        const char* at = block + std::countr_zero(found) / bitsPerByte;
        found &= found - 1;
        return at;
    }

private:
#if defined(__SSE2__) && !defined(CGI_NO_SSE2)
    static constexpr std::ptrdiff_t blockSize = 16;
    static constexpr int bitsPerByte = 1;

    // The block's marks: past the end of the text, zero bytes, never A or B
    // (both are text, not NUL).
    void load()
    {
        __m128i bytes;
        if (end - block >= blockSize) {
            bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
        } else {
            alignas(16) char tail[blockSize] = {};
            std::memcpy(tail, block, static_cast<std::size_t>(end - block));
            bytes = _mm_load_si128(reinterpret_cast<const __m128i*>(tail));
        }
        const __m128i hits =
            _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(A)), _mm_cmpeq_epi8(bytes, _mm_set1_epi8(B)));
        found = static_cast<unsigned>(_mm_movemask_epi8(hits));
    }

    unsigned found = 0;
#else
    static constexpr std::ptrdiff_t blockSize = 8;
    static constexpr int bitsPerByte = 8;
    static constexpr std::uint64_t ones = 0x0101010101010101;
    static constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7F;

    // 0x80 in each byte of `x` that is 0, and 0 in every other byte.
    static std::uint64_t zeroBytes(std::uint64_t x) { return ~(((x & low7) + low7) | x | low7); }

    // The block's marks, its first byte lowest; past the end of the text,
    // zero bytes, never A or B.
    void load()
    {
        unsigned char bytes[blockSize] = {};
        std::memcpy(bytes, block, static_cast<std::size_t>(end - block < blockSize ? end - block : blockSize));
        std::uint64_t x = 0;
        for (int i = blockSize - 1; i >= 0; --i)
            x = (x << 8) | bytes[i];
        found = zeroBytes(x ^ (static_cast<unsigned char>(A) * ones)) |
                zeroBytes(x ^ (static_cast<unsigned char>(B) * ones));
    }

    std::uint64_t found = 0;
#endif
    const char* block;
    const char* const end;
};
