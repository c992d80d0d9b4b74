#include "postern/message.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "config.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

const char revisionLevel[] = "$Revision: 1.1 $";
const char revisionDate[] = "$Date: 1994/12/22 18:59:32 $";
const char* const unknown = "(unknown)";

namespace {

// The text of a keyword string between its "$Keyword: " and its " $".
std::string_view keywordValue(std::string_view keyword, std::size_t prefix)
{
    return keyword.substr(prefix, keyword.size() - prefix - 2);
}

const char* envOrUnknown(const char* variable)
{
    const char* value = std::getenv(variable);
    return value != nullptr ? value : unknown;
}

void printReport(std::FILE* out, const char* label, const char* variable)
{
    std::fprintf(out, "\t%s%s\n", label, envOrUnknown(variable));
}

// The lines of names and values and their indents are gathered here and
// handed to stdio in large pieces: two stdio calls a line cost a 32 MiB form
// of very short lines about 200 ms. The slack past `room` takes the 16-byte
// stores that may run past their bytes.
constexpr std::size_t room = 1 << 16;
constexpr std::size_t slack = 2048;
char staged[room + slack];
const char spaces[] = "                                                                "
                      "                                                                ";
constexpr std::size_t blockIndent = 64;  // the longest indent the 16-byte path writes

// Writes `text` with `indent` spaces after each newline, line by line
// through the staging buffer; for indents of any length.
void printLines(std::FILE* out, std::string_view text, std::size_t indent)
{
    std::size_t used = 0;
    // Stages `length` bytes, from `from` or blanks when it is null; what
    // cannot be staged goes out at once.
    const auto stage = [&](const char* from, std::size_t length) {
        if (used + length > room) {
            std::fwrite(staged, 1, used, out);
            used = 0;
        }
        if (length > room) {
            if (from != nullptr)
                std::fwrite(from, 1, length, out);
            else
                printSpaces(out, length);
            return;
        }
        if (from != nullptr)
            std::memcpy(staged + used, from, length);
        else
            std::memset(staged + used, ' ', length);
        used += length;
    };
    const char* p = text.data();
    const char* const end = p + text.size();
    while (p < end) {
        const auto* newline = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
        const char* const stop = newline != nullptr ? newline + 1 : end;
        stage(p, static_cast<std::size_t>(stop - p));
        if (newline != nullptr)
            stage(nullptr, indent);
        p = stop;
    }
    std::fwrite(staged, 1, used, out);
}

#if defined(__SSE2__)
// The same for indents up to blockIndent, 16 bytes at a time: a block without
// a newline is copied whole; in one with newlines, each piece up to a
// newline is copied with one 16-byte load and store, and the indent with a
// few stores of spaces. A 32 MiB form of 4-byte lines: 20 ms instead of 90.
void printBlocks(std::FILE* out, std::string_view text, std::size_t indent)
{
    const __m128i newlines = _mm_set1_epi8('\n');
    const __m128i blanks = _mm_loadu_si128(reinterpret_cast<const __m128i*>(spaces));
    const char* p = text.data();
    const char* const end = p + text.size();
    char* w = staged;
    // Copies the piece [from, from + length), length <= 16, to w; a 16-byte
    // load only where the text has 16 bytes from there.
    const auto copy = [&](const char* from, std::size_t length) {
        if (end - from >= 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(w), _mm_loadu_si128(reinterpret_cast<const __m128i*>(from)));
        else
            std::memcpy(w, from, length);
        w += length;
    };
    const auto indentLine = [&] {
        for (std::size_t done = 0; done < indent; done += 16)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(w + done), blanks);
        w += indent;
    };
    while (end - p >= 16) {
        if (w - staged > static_cast<std::ptrdiff_t>(room)) {
            std::fwrite(staged, 1, static_cast<std::size_t>(w - staged), out);
            w = staged;
        }
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        auto found = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, newlines)));
        if (found == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(w), block);
            w += 16;
            p += 16;
            continue;
        }
        std::size_t start = 0;
        while (found != 0) {
            const auto at = static_cast<std::size_t>(__builtin_ctz(found));
            found &= found - 1;
            copy(p + start, at + 1 - start);
            indentLine();
            start = at + 1;
        }
        copy(p + start, 16 - start);
        p += 16;
    }
    std::fwrite(staged, 1, static_cast<std::size_t>(w - staged), out);
    printLines(out, std::string_view(p, static_cast<std::size_t>(end - p)), indent);
}
#endif

// Writes a name or a value, indenting each line after a newline by `indent`
// spaces.
void printValue(std::FILE* out, std::string_view value, std::size_t indent)
{
#if defined(__SSE2__)
    if (indent <= blockIndent) {
        printBlocks(out, value, indent);
        return;
    }
#endif
    printLines(out, value, indent);
}

} // namespace

void printSpaces(std::FILE* out, std::size_t count)
{
    static const char spaces[] = "                                                                ";
    constexpr std::size_t chunk = sizeof spaces - 1;
    for (; count > chunk; count -= chunk)
        std::fwrite(spaces, 1, chunk, out);
    std::fwrite(spaces, 1, count, out);
}

void writeMessage(std::FILE* out, const char* recipient, const char* subject,
                  const std::vector<FormEntry>& fields)
{
    const auto revision = keywordValue(revisionLevel, std::strlen("$Revision: "));
    const auto date = keywordValue(revisionDate, std::strlen("$Date: "));

    std::fprintf(out, "To: %s\n", recipient);
    std::fputs("Cc:\n", out);
    std::fprintf(out, "Subject: %s\n", subject);
    std::fprintf(out, "Reply-To: %s\n", recipient);
    std::fprintf(out, "X-Delivered-Via: Postern Version %.*s of %.*s\n",
                 static_cast<int>(revision.size()), revision.data(),
                 static_cast<int>(date.size()), date.data());
    if (mailCharset[0] != '\0') {
        // The visitor's bytes go as the browser sent them: the site says in
        // which character set its forms send them.
        std::fputs("MIME-Version: 1.0\n", out);
        std::fprintf(out, "Content-Type: text/plain; charset=%s\n", mailCharset);
        std::fputs("Content-Transfer-Encoding: 8bit\n", out);
    }
    std::fputs("\n", out);

    std::fputs("\nREMOTE USER INFORMATION\n-----------------------\n", out);
    printReport(out, "Remote host name:      ", "REMOTE_HOST");
    printReport(out, "Remote host address:   ", "REMOTE_ADDR");
    printReport(out, "Remote user's browser: ", "HTTP_USER_AGENT");

    std::fputs("\nLOCAL SERVER INFORMATION\n------------------------\n", out);
    printReport(out, "Server host name:      ", "SERVER_NAME");
    printReport(out, "Server host port:      ", "SERVER_PORT");
    printReport(out, "Server software:       ", "SERVER_SOFTWARE");
    printReport(out, "Server protocol:       ", "SERVER_PROTOCOL");
    printReport(out, "Gateway interface:     ", "GATEWAY_INTERFACE");
    printReport(out, "CGI script name:       ", "SCRIPT_NAME");

    std::fputs("\nFILL-OUT FORM VALUES\n--------------------\n", out);
    const std::string* previous = nullptr;
    for (const auto& field : fields) {
        const std::size_t indent = field.name.size() + 2;
        if (previous == nullptr || *previous != field.name) {
            // A name's own line breaks are indented as its value's are, so
            // that no field can start a line of the report.
            printValue(out, field.name, indent);
            std::fputs(": ", out);
        } else
            printSpaces(out, indent);
        printValue(out, field.value, indent);
        std::fputs("\n\n", out);
        previous = &field.name;
    }
}
