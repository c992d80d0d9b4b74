// Form decoding over hostile bodies, held to the byte-at-a-time reading and
// decoding: the first byte chooses stdio's buffer size, the next four the
// counter, the rest is the body. Read field by field as the mail gateway
// reads it (while the counter is above 0) and as the echo page does (while
// it is not 0), every word, the counter, the stream's position and its end
// of input agree with a reader that takes one byte at a time, and each
// decoded word with the one-byte decoding.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "formdecode/formdecode.h"
#include "formdecode/reference.h"

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5)
        return 0;
    const std::size_t bufferSize = 1 + data[0] % 64;
    std::int32_t counter;
    std::memcpy(&counter, data + 1, 4);
    counter %= 1 << 20;
    const std::string body(reinterpret_cast<const char*>(data + 5), size - 5);

    for (const bool postern : {true, false}) {
        char bufferA[64];
        char bufferB[64];
        std::FILE* a = stream_of(body, bufferA, bufferSize);
        std::FILE* b = stream_of(body, bufferB, 64);
        int clA = counter;
        int clB = counter;
        for (int fields = 0; (postern ? clA > 0 : clA != 0) && !at_end(a) && fields < 1025; ++fields) {
            std::string word = fmakeword(a, '&', clA, postern ? 1024U : 102400U);
            const std::string expected = byte_by_byte(b, '&', clB);
            check(word == expected);
            check(clA == clB);
            check(std::ftell(a) == std::ftell(b));
            check(at_end(a) == (std::feof(b) != 0));
            if (postern) {
                plustospace(word);
                std::string spaced = expected;
                for (char& c : spaced)
                    c = c == '+' ? ' ' : c;
                check(word == spaced);
                unescape_url(word);
                check(word == unescaped_byte_by_byte(spaced));
            }
        }
        std::fclose(a);
        std::fclose(b);
    }
    return 0;
}
