#include "postern/message.h"

#include "formdecode/byte_finder.h"

#include <algorithm>
#include <array>
#include <bit>
#include <unordered_set>
#include <cstdlib>
#include <cstring>


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

// The report's lines: a label and the environment variable it shows, in
// two sections.
struct ReportLine {
    const char* label;
    const char* variable;
};
constexpr ReportLine visitorLines[] = {
    {"Remote host name:      ", "REMOTE_HOST"},
    {"Remote host address:   ", "REMOTE_ADDR"},
    {"Remote user's browser: ", "HTTP_USER_AGENT"},
};
constexpr ReportLine serverLines[] = {
    {"Server host name:      ", "SERVER_NAME"},
    {"Server host port:      ", "SERVER_PORT"},
    {"Server software:       ", "SERVER_SOFTWARE"},
    {"Server protocol:       ", "SERVER_PROTOCOL"},
    {"Gateway interface:     ", "GATEWAY_INTERFACE"},
    {"CGI script name:       ", "SCRIPT_NAME"},
};

bool hasEightBit(std::string_view text)
{
    for (const char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    return false;
}

// The subject goes into its header line as it stands, unless the form names
// the character set of its pages and the subject holds bytes beyond ASCII:
// then it goes as encoded words in that set, which readers show as letters.
bool subjectEncoded(const Settings& settings)
{
    return !settings.mailCharset.empty() && hasEightBit(settings.subject);
}

constexpr char hexDigits[] = "0123456789ABCDEF";

void appendHex(std::string& out, unsigned char c, char marker = '=')
{
    out += marker;
    out += hexDigits[c >> 4];
    out += hexDigits[c & 0xF];
}

// The longest line of an encoded subject, "Subject: " included.
constexpr std::size_t longestEncodedLine = 76;

// "Subject: " and the subject as encoded words of the "Q" kind in the form's
// character set, one a line, no line longer than longestEncodedLine: the
// lines after the first begin with a space, which folds them into the one
// header. In UTF-8 a word holds whole letters only, as encoded words must;
// the other sets a form may name have one byte a letter.
std::string encodedSubjectLines(std::string_view subject, std::string_view charset)
{
    const std::string open = "=?" + std::string(charset) + "?Q?";
    const std::size_t wordRoom = open.size() + std::strlen("?=");
    // The first word follows "Subject: ", the others a space.
    std::size_t room = longestEncodedLine - std::strlen("Subject: ") - wordRoom;
    const bool utf8 = setting::isUtf8(charset);
    std::string lines = "Subject:";
    std::string word;
    const auto endWord = [&] {
        lines.append(" ").append(open).append(word).append("?=");
        word.clear();
    };
    for (std::size_t i = 0; i < subject.size();) {
        std::size_t end = i + 1;
        if (utf8)
            while (end < subject.size() && (static_cast<unsigned char>(subject[end]) & 0xC0) == 0x80)
                ++end;
        std::string letter;
        for (; i < end; ++i) {
            const auto c = static_cast<unsigned char>(subject[i]);
            if (c == ' ')
                letter += '_';
            else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     std::strchr("!*+-/", c) != nullptr)
                letter += static_cast<char>(c);
            else
                appendHex(letter, c);
        }
        if (!word.empty() && word.size() + letter.size() > room) {
            endWord();
            lines += '\n';
            room = longestEncodedLine - std::strlen(" ") - wordRoom;
        }
        word += letter;
    }
    endWord();
    return lines + "\n";
}

// Where replies go: the address the visitor typed into the form's reply
// field, the first field of that name, when it is one plain address; else
// the recipient.
std::string_view replyAddress(const Settings& settings, const std::vector<FormEntry>& fields)
{
    if (settings.replyToField.empty())
        return settings.recipient;
    for (const auto& field : fields)
        if (field.name == settings.replyToField)
            return setting::isPlainAddress(field.value) ? std::string_view(field.value) : settings.recipient;
    return settings.recipient;
}

// Where the layout goes. The layout runs twice, over the same code: once into
// a Counter, which only counts its bytes, so that the message's size is known
// before anything is allocated, and once into a Writer, into room of that
// size.
struct Counter {
    // The count cannot wrap round, on 32-bit builds too. Copied bytes are
    // bytes of texts in memory, far fewer than 2^62 together; only the
    // indents, one after every line break, are not, and with them the count
    // stops at `beyond`, which no bound comes near.
    static constexpr std::uint64_t beyond = std::uint64_t{1} << 62;
    static constexpr bool notesLines = false;
    std::uint64_t at = 0;

    void copy(const char*, std::size_t n) { at += n; }
    void copyLine(const char*, std::size_t n, const char*) { at += n; }
    void fill(std::size_t n) { at = std::min(at + n, beyond); }
    void byte(char) { ++at; }
    std::uint64_t offset() const { return at; }
};

// The room a Writer writes into holds `slack` bytes past the message, so that
// a short line and an indent each go in as one store of a fixed size: a form
// of short lines has a line every few bytes.
struct Writer {
    static constexpr std::size_t slack = 32;
    static constexpr char spaces[slack + 1] = "                                ";
    static constexpr bool notesLines = true;

    char* const start;
    char* at = start;

    void copy(const char* p, std::size_t n)
    {
        std::memcpy(at, p, n);
        at += n;
    }
    // A line of a text that ends at `end`: a short one as one store of 16
    // bytes, when the text has 16 bytes left to read.
    void copyLine(const char* p, std::size_t n, const char* end)
    {
        if (n <= 16 && end - p >= 16) {
            std::memcpy(at, p, 16);
            at += n;
            return;
        }
        copy(p, n);
    }
    void fill(std::size_t n)
    {
        if (n > slack) {
            printSpaces(at, n);
            return;
        }
        std::memcpy(at, spaces, slack);
        at += n;
    }
    void byte(char c) { *at++ = c; }
    std::uint64_t offset() const { return static_cast<std::uint64_t>(at - start); }
};

// The body as it is laid out, and what it holds that decides its encoding: a
// line longer than Internet mail allows (counted without its LF or CR LF),
// which relays refuse or break, or a CR alone, which relays drop, replace or
// take for a line end. The writer notes both line by line while it lays the
// body out, since another pass over a large body costs as much as the layout.
template <class Out>
struct BodyLines {
    Out out;
    std::uint64_t lineStart = 0;
    bool needsEncoding = false;

    void put(std::string_view text) { out.copy(text.data(), text.size()); }

    // The line that began at lineStart ends here, before its line break.
    void endLine()
    {
        if constexpr (Out::notesLines)
            if (out.offset() - lineStart > longestMailLine)
                needsEncoding = true;
    }

    // The next line starts here.
    void startLine()
    {
        if constexpr (Out::notesLines)
            lineStart = out.offset();
    }

    // Ends the line with a LF; the next one starts after it.
    void newLine()
    {
        endLine();
        out.byte('\n');
        startLine();
    }

    // Writes `text` with `indent` spaces after each of its line breaks: a LF,
    // a CR LF (indented once, after the LF), or a CR alone, which mail
    // readers and relays also take for the end of a line. The report's own
    // text goes in with no indent.
    void putIndented(std::string_view text, std::size_t indent)
    {
        const char* p = text.data();
        const char* const end = p + text.size();
        ByteFinder<'\n', '\r'> breaks(text);
        for (const char* lineBreak = breaks.next(); lineBreak != end; lineBreak = breaks.next()) {
            if (lineBreak < p)
                continue;  // the LF of a CR LF, written with its CR
            out.copyLine(p, static_cast<std::size_t>(lineBreak - p), end);
            endLine();
            out.byte(*lineBreak);
            p = lineBreak + 1;
            if (*lineBreak == '\r') {
                if (p < end && *p == '\n')
                    out.byte(*p++);
                else
                    needsEncoding = true;
            }
            startLine();
            out.fill(indent);
        }
        out.copy(p, static_cast<std::size_t>(end - p));
    }
};

template <class Out, std::size_t N>
void putReport(BodyLines<Out>& body, std::string_view heading, const ReportLine (&lines)[N])
{
    body.putIndented(heading, 0);
    for (const auto& line : lines) {
        body.put("\t");
        body.put(line.label);
        body.putIndented(envOrUnknown(line.variable), 0);
        body.newLine();
    }
}

// The body: the report on the visitor and the server, and every field.
template <class Out>
void layOut(BodyLines<Out>& body, const std::vector<FormEntry>& fields)
{
    putReport(body, "\nREMOTE USER INFORMATION\n-----------------------\n", visitorLines);
    putReport(body, "\nLOCAL SERVER INFORMATION\n------------------------\n", serverLines);
    body.putIndented("\nFILL-OUT FORM VALUES\n--------------------\n", 0);
    const std::string* previous = nullptr;
    for (const auto& field : fields) {
        const std::size_t indent = field.name.size() + 2;
        if (previous == nullptr || *previous != field.name) {
            // A name's own line breaks are indented as its value's are, so
            // that no field can start a line of the report.
            body.putIndented(field.name, indent);
            body.put(": ");
        } else
            body.out.fill(indent);
        body.putIndented(field.value, indent);
        body.newLine();  // the field's last line
        body.newLine();  // and the empty line after it
        previous = &field.name;
    }
}

// The MIME lines of a body of text in `charset` with this transfer encoding.
std::string textMime(std::string_view charset, std::string_view encoding)
{
    return std::string("MIME-Version: 1.0\nContent-Type: text/plain; charset=").append(charset) +
           "\nContent-Transfer-Encoding: " + std::string(encoding) + "\n";
}

// The header block, with `mime` after the gateway's own lines.
std::string headers(const Settings& settings, const std::vector<FormEntry>& fields, std::string_view mime)
{
    const auto revision = keywordValue(revisionLevel, std::strlen("$Revision: "));
    const auto date = keywordValue(revisionDate, std::strlen("$Date: "));
    std::string message;
    message.append("To: ").append(settings.recipient).append("\n");
    message += "Cc:\n";
    if (subjectEncoded(settings))
        message += encodedSubjectLines(settings.subject, settings.mailCharset);
    else
        message.append("Subject: ").append(settings.subject).append("\n");
    message.append("Reply-To: ").append(replyAddress(settings, fields)).append("\n");
    message.append("X-Delivered-Via: Postern Version ").append(revision).append(" of ").append(date).append("\n");
    message.append(mime);
    message += "\n";
    return message;
}

// The boundary between the parts of a mail with files: "=_postern_" and
// eight digits. A part in base64 or quoted-printable cannot hold "=_"; a
// text of 8 bits could hold a line that begins with "--" and a boundary, so
// the first number no such line begins with is taken: one look at each
// line start, and at most as many numbers tried as there are such lines.
constexpr std::string_view boundaryPrefix = "=_postern_";
constexpr std::size_t boundaryDigits = 8;
constexpr std::size_t boundaryLength = boundaryPrefix.size() + boundaryDigits;

std::string chooseBoundary(std::string_view text)
{
    std::unordered_set<std::string_view> taken;
    const std::string lead = "--" + std::string(boundaryPrefix);
    for (std::size_t at = 0; at < text.size();) {
        if (text.substr(at, lead.size()) == lead)
            taken.insert(text.substr(at + lead.size(), boundaryDigits));
        const std::size_t lf = text.find('\n', at);
        at = lf == std::string_view::npos ? text.size() : lf + 1;
    }
    for (unsigned n = 0;; ++n) {
        std::string digits = std::to_string(n);
        digits.insert(0, boundaryDigits - digits.size(), '0');
        if (!taken.contains(digits))
            return std::string(boundaryPrefix) + digits;
    }
}

constexpr std::size_t base64Width = 76;

// The size of `n` bytes in base64, in lines of base64Width, each ending in LF.
std::uint64_t base64Size(std::uint64_t n)
{
    const std::uint64_t characters = (n + 2) / 3 * 4;
    return characters + (characters + base64Width - 1) / base64Width;
}

constexpr char base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The two characters of each 12 bits, looked up at once, the first in the
// low byte: half the lookups of one a character.
constexpr auto base64Pairs = [] {
    std::array<std::uint16_t, 4096> pairs{};
    for (std::size_t v = 0; v < 4096; ++v)
        pairs[v] = static_cast<std::uint16_t>(static_cast<unsigned char>(base64Alphabet[v >> 6]) |
                                              static_cast<unsigned char>(base64Alphabet[v & 63]) << 8);
    return pairs;
}();

// The eight bytes at `p`, the first the highest.
inline std::uint64_t bigEndian(const unsigned char* p)
{
    std::uint64_t x = 0;
    std::memcpy(&x, p, 8);
    if constexpr (std::endian::native == std::endian::little) {
#if defined(__GNUC__)
        x = __builtin_bswap64(x);
#else
        std::uint64_t swapped = 0;
        for (int i = 0; i < 8; ++i, x >>= 8)
            swapped = (swapped << 8) | (x & 0xFF);
        x = swapped;
#endif
    }
    return x;
}

// The eight characters of the six bytes at `p` (of eight that may be read),
// in memory order.
inline std::uint64_t base64Eight(const unsigned char* p)
{
    const std::uint64_t x = bigEndian(p);
    const std::uint64_t first = x >> 40;
    const std::uint64_t second = (x >> 16) & 0xFFFFFF;
    const std::uint64_t chars = base64Pairs[first >> 12] | std::uint64_t{base64Pairs[first & 0xFFF]} << 16 |
                                std::uint64_t{base64Pairs[second >> 12]} << 32 |
                                std::uint64_t{base64Pairs[second & 0xFFF]} << 48;
    if constexpr (std::endian::native == std::endian::big) {
        std::uint64_t swapped = 0;
        for (int i = 0; i < 8; ++i)
            swapped |= ((chars >> (8 * i)) & 0xFF) << (56 - 8 * i);
        return swapped;
    }
    return chars;
}

// Writes `bytes` at `at` in base64, in lines of base64Width characters, each
// ending in LF (base64Size(bytes.size()) characters); answers where they end.
char* writeBase64(char* at, std::string_view bytes)
{
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* const end = p + bytes.size();
    std::size_t left = bytes.size();
    constexpr std::size_t lineBytes = base64Width / 4 * 3;
    while (left > 0) {
        const std::size_t line = std::min(left, lineBytes);
        std::size_t i = 0;
        for (; i + 6 <= line && end - p >= 8; i += 6, p += 6, at += 8) {
            const std::uint64_t eight = base64Eight(p);
            std::memcpy(at, &eight, 8);
        }
        for (; i + 3 <= line; i += 3, p += 3) {
            const unsigned v = (unsigned{p[0]} << 16) | (unsigned{p[1]} << 8) | p[2];
            *at++ = base64Alphabet[v >> 18];
            *at++ = base64Alphabet[(v >> 12) & 63];
            *at++ = base64Alphabet[(v >> 6) & 63];
            *at++ = base64Alphabet[v & 63];
        }
        if (i < line) {  // the last one or two bytes
            const unsigned v = (unsigned{p[0]} << 16) | (i + 1 < line ? unsigned{p[1]} << 8 : 0U);
            *at++ = base64Alphabet[v >> 18];
            *at++ = base64Alphabet[(v >> 12) & 63];
            *at++ = i + 1 < line ? base64Alphabet[(v >> 6) & 63] : '=';
            *at++ = '=';
            p += line - i;
        }
        *at++ = '\n';
        left -= line;
    }
    return at;
}

// Room of a size counted before it was made, written from its start. Each
// piece is held to the room's end: a count that were wrong would stop the
// gateway there, never write past it.
struct Room {
    char* at;
    char* const end;

    char* take(std::size_t n)
    {
        if (n > static_cast<std::size_t>(end - at))
            std::abort();
        char* const piece = at;
        at += n;
        return piece;
    }
    void put(std::string_view text) { std::memcpy(take(text.size()), text.data(), text.size()); }
};

// A file's Content-Disposition line: its name as it is when it is printable
// ASCII; otherwise as an RFC 2231 value in UTF-8, and after it a fallback of
// printable ASCII for readers that know no RFC 2231. The RFC 2231 value
// comes first: readers that know it take it whatever the order, and some
// (Python's email package) take the first name they find.
std::string disposition(std::string_view name)
{
    const auto printable = [](char c) { return c >= ' ' && c <= '~'; };
    std::string line = "Content-Disposition: attachment; ";
    if (!std::all_of(name.begin(), name.end(), printable)) {
        line += "filename*=UTF-8''";
        for (const char c : name) {
            const auto b = static_cast<unsigned char>(c);
            if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
                std::string_view("!#$&+-.^_`|~").find(c) != std::string_view::npos)
                line += c;
            else
                appendHex(line, b, '%');
        }
        line += ";\n ";
    }
    line += "filename=\"";
    for (const char c : name) {
        if (c == '"' || c == '\\')
            line += '\\';
        line += printable(c) ? c : '_';
    }
    return line + "\"\n";
}

// A file's part, before its base64 lines.
std::string fileHeaders(const Attachment& file)
{
    return "Content-Type: " + std::string(file.kind->type) + "\n" + disposition(file.filename) +
           "Content-Transfer-Encoding: base64\n\n";
}

} // namespace

void printSpaces(char*& at, std::size_t count)
{
    std::memset(at, ' ', count);
    at += count;
}

std::string headerTooLong(const Settings& settings)
{
    const auto tooLong = [](const char* what, std::size_t length) {
        return std::string(what) + " of " + std::to_string(length) + " bytes makes a header line longer than " +
               std::to_string(longestMailLine) + " octets";
    };
    if (std::strlen("Reply-To: ") + settings.recipient.size() > longestMailLine)
        return tooLong("the recipient", settings.recipient.size());
    if (!subjectEncoded(settings) && std::strlen("Subject: ") + settings.subject.size() > longestMailLine)
        return tooLong("the subject", settings.subject.size());
    return {};
}

std::string quotedPrintable(std::string_view body)
{
    // Encoded lines of at most 76 characters: 75 and the "=" of a soft break.
    constexpr std::size_t width = 75;
    std::string out;
    out.reserve(3 * body.size() + body.size() / 25);  // the most it can be
    std::size_t column = 0;
    const auto room = [&](std::size_t length) {
        if (column + length > width) {
            out += "=\n";
            column = 0;
        }
        column += length;
    };
    const std::size_t n = body.size();
    const auto lineBreakAt = [&](std::size_t i) {
        return i == n || body[i] == '\n' || (body[i] == '\r' && i + 1 < n && body[i + 1] == '\n');
    };
    for (std::size_t i = 0; i < n; ++i) {
        const auto c = static_cast<unsigned char>(body[i]);
        if (c == '\n' || (c == '\r' && lineBreakAt(i))) {
            i += c == '\r' ? 1 : 0;
            out += '\n';
            column = 0;
            continue;
        }
        // White space at a line's end is encoded, since relays may strip it;
        // so is an "F" that would start a line with "From ", which mailbox
        // files mark with a ">".
        const bool blank = c == ' ' || c == '\t';
        const bool startsLine = column == 0 || column + 1 > width;
        const bool plain = blank ? !lineBreakAt(i + 1)
                                 : c > ' ' && c < 0x7F && c != '=' &&
                                       !(c == 'F' && startsLine && body.substr(i, 5) == "From ");
        if (plain) {
            room(1);
            out += static_cast<char>(c);
        } else {
            room(3);
            appendHex(out, c);
        }
    }
    return out;
}

namespace {

// The mail of a form without files: its body is the text.
bool composeText(const Settings& settings, const std::vector<FormEntry>& fields, std::uint64_t limit, Mail& mail,
                 std::uint64_t& size)
{
    BodyLines<Counter> count{};
    layOut(count, fields);
    // The MIME lines: the visitor's bytes go as the browser sent them, and
    // the form says in which character set its pages send them; without that,
    // only an encoded body says it is ASCII, or that its set is not known.
    std::string_view charset = settings.mailCharset;
    const std::string head = headers(settings, fields, charset.empty() ? "" : textMime(charset, "8bit"));
    size = count.out.at + head.size();
    if (size > limit || size > std::string().max_size())
        return false;

    mail.size = static_cast<std::size_t>(size);
    mail.bytes.reset(new char[mail.size + Writer::slack]);  // not zeroed: every byte is written below
    std::memcpy(mail.bytes.get(), head.data(), head.size());
    BodyLines<Writer> body{{mail.bytes.get() + head.size()}};
    layOut(body, fields);
    if (!body.needsEncoding)
        return true;

    const std::string_view text(mail.bytes.get() + head.size(), mail.size - head.size());
    if (charset.empty())
        charset = hasEightBit(text) ? "unknown-8bit" : "us-ascii";
    mail.encoded = headers(settings, fields, textMime(charset, "quoted-printable"));
    mail.encoded += quotedPrintable(text);
    mail.bytes.reset();
    mail.size = mail.encoded.size();
    size = mail.size;
    return size <= limit;
}

// The mail of a form with files: a text part, the mail's text as it would go
// alone, and a part for each file. Each part's content ends in a LF that
// belongs to the delimiter after it.
bool composeWithFiles(const Settings& settings, const std::vector<FormEntry>& fields,
                      const std::vector<Attachment>& files, std::uint64_t limit, Mail& mail, std::uint64_t& size)
{
    const auto topMime = [](std::string_view boundary) {
        return "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"" + std::string(boundary) + "\"\n";
    };
    const auto delimiter = [](std::string_view boundary, bool close) {
        return "--" + std::string(boundary) + (close ? "--\n" : "\n");
    };
    const std::string placeholder(boundaryLength, '0');
    std::uint64_t filesSize = 0;
    for (const auto& file : files)
        filesSize += delimiter(placeholder, false).size() + fileHeaders(file).size() +
                     base64Size(file.bytes.size()) + 1;
    const std::uint64_t frame = headers(settings, fields, topMime(placeholder)).size() + filesSize +
                                delimiter(placeholder, true).size();

    const auto partHead = [&](std::string_view charset, std::string_view encoding) {
        return textMime(charset, encoding).substr(std::strlen("MIME-Version: 1.0\n")) + "\n";
    };
    // The text's size before it is made, with the shortest of its headers:
    // its encoding may only make it longer.
    BodyLines<Counter> count{};
    layOut(count, fields);
    const std::string_view least = settings.mailCharset.empty() ? "us-ascii" : settings.mailCharset;
    size = frame + delimiter(placeholder, false).size() + partHead(least, "8bit").size() + count.out.at + 1;
    if (size > limit || size > std::string().max_size())
        return false;

    const auto laidOut = static_cast<std::size_t>(count.out.at);
    const std::unique_ptr<char[]> room(new char[laidOut + Writer::slack]);
    BodyLines<Writer> body{{room.get()}};
    layOut(body, fields);
    std::string_view text(room.get(), laidOut);
    const std::string charset(settings.mailCharset.empty() ? (hasEightBit(text) ? "unknown-8bit" : "us-ascii")
                                                           : settings.mailCharset);
    std::string encoded;
    if (body.needsEncoding) {
        encoded = quotedPrintable(text);
        text = encoded;
    }
    const std::string textHead = partHead(charset, body.needsEncoding ? "quoted-printable" : "8bit");
    size = frame + delimiter(placeholder, false).size() + textHead.size() + text.size() + 1;
    if (size > limit || size > std::string().max_size())
        return false;

    const std::string boundary = chooseBoundary(text);
    mail.size = static_cast<std::size_t>(size);
    mail.bytes.reset(new char[mail.size]);  // not zeroed: every byte is written below
    Room out{mail.bytes.get(), mail.bytes.get() + mail.size};
    out.put(headers(settings, fields, topMime(boundary)));
    out.put(delimiter(boundary, false));
    out.put(textHead);
    out.put(text);
    out.put("\n");
    for (const auto& file : files) {
        out.put(delimiter(boundary, false));
        out.put(fileHeaders(file));
        const std::size_t length = static_cast<std::size_t>(base64Size(file.bytes.size()));
        if (writeBase64(out.take(length), file.bytes) != out.at)
            std::abort();
        out.put("\n");
    }
    out.put(delimiter(boundary, true));
    if (out.at != out.end)
        std::abort();
    return true;
}

} // namespace

bool composeMessage(const Settings& settings, const std::vector<FormEntry>& fields, std::uint64_t limit, Mail& mail,
                    std::uint64_t& size, const std::vector<Attachment>& files)
{
    return files.empty() ? composeText(settings, fields, limit, mail, size)
                         : composeWithFiles(settings, fields, files, limit, mail, size);
}

LayoutCheck layoutCheck(const std::vector<FormEntry>& fields)
{
    BodyLines<Counter> count{};
    layOut(count, fields);
    std::string room(static_cast<std::size_t>(count.out.at) + Writer::slack, '\0');
    BodyLines<Writer> body{{room.data()}};
    layOut(body, fields);
    return {count.out.at, static_cast<std::size_t>(body.out.at - room.data())};
}
