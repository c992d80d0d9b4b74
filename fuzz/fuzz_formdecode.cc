// Form decoding over hostile bodies: the first four bytes set the counter,
// the rest is the body, read field by field as the mail gateway (decoding
// every field, blocks of 1024 bytes) and the echo page (20 fields, undecoded,
// blocks of 102400 bytes) read it.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "formdecode/formdecode.h"

namespace {

std::FILE* stream(const std::uint8_t* data, std::size_t size)
{
    std::FILE* in = std::tmpfile();
    std::fwrite(data, 1, size, in);
    std::rewind(in);
    return in;
}

void check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    std::int32_t counter;
    std::memcpy(&counter, data, 4);
    counter %= 1 << 20;
    data += 4;
    size -= 4;

    for (const bool decode : {true, false}) {
        std::FILE* in = stream(data, size);
        int cl = counter;
        std::size_t fields = 0;
        std::size_t bytes = 0;
        while ((decode ? cl > 0 : cl != 0) && !at_end(in) && fields < (decode ? 1025U : 20U)) {
            std::string value = fmakeword(in, '&', cl, decode ? 1024U : 102400U);
            const std::size_t raw = value.size();
            if (decode) {
                plustospace(value);
                unescape_url(value);
            }
            check(value.size() <= raw);
            std::string name = makeword(value, '=');
            check(name.find('\0') == std::string::npos && value.find('\0') == std::string::npos);
            check(name.size() + value.size() <= raw);
            bytes += raw;
            ++fields;
        }
        // Every byte a field keeps was read from the body; the counter
        // counts at least one read per field.
        check(bytes <= size);
        check(static_cast<long>(counter) - cl >= static_cast<long>(fields));
        std::fclose(in);
    }
    return 0;
}
