#include "postern/message.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "config.h"

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

// The subject goes into its header line as it stands, unless the site names
// the character set of its forms and the subject holds bytes beyond ASCII:
// then it goes as encoded words in that set, which readers show as letters.
bool subjectEncoded(std::string_view subject)
{
    return mailCharset[0] != '\0' && hasEightBit(subject);
}

bool isUtf8(std::string_view charset)
{
    std::string lower(charset);
    for (char& c : lower)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower == "utf-8" || lower == "utf8";
}

constexpr char hexDigits[] = "0123456789ABCDEF";

void appendHex(std::string& out, unsigned char c)
{
    out += '=';
    out += hexDigits[c >> 4];
    out += hexDigits[c & 0xF];
}

// "Subject: " and the subject as encoded words of the "Q" kind in the site's
// character set, each at most 75 characters, one a line: the lines after the
// first begin with a space, which folds them into the one header. In UTF-8 a
// word holds whole letters only, as encoded words must.
std::string encodedSubjectLines(std::string_view subject)
{
    const std::string open = std::string("=?") + mailCharset + "?Q?";
    const std::size_t room = 75 - open.size() - 2;
    const bool utf8 = isUtf8(mailCharset);
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
        }
        word += letter;
    }
    endWord();
    return lines + "\n";
}

bool isAtext(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           (c != '\0' && std::strchr("!#$%&'*+-/=?^_`{|}~", c) != nullptr);
}

// Characters of the address's kind and single inner dots.
bool isDotAtom(std::string_view text)
{
    bool afterDot = true;  // no dot first
    for (const char c : text) {
        if (c == '.') {
            if (afterDot)
                return false;
            afterDot = true;
        } else if (isAtext(c)) {
            afterDot = false;
        } else {
            return false;
        }
    }
    return !afterDot;  // nor last, nor an empty text
}

// One plain address, local@domain of dot-atoms, no more than mail allows
// (254 octets, 64 in the local part), and no encoded word a reader might
// decode: the only visitor text that may reach a header.
bool isPlainAddress(std::string_view text)
{
    const std::size_t at = text.find('@');
    return text.size() <= 254 && at != std::string_view::npos && at <= 64 && isDotAtom(text.substr(0, at)) &&
           isDotAtom(text.substr(at + 1)) && text.find("=?") == std::string_view::npos;
}

// Where replies go: the address the visitor typed into the site's reply
// field, the first field of that name, when it is one plain address; else
// the recipient.
std::string_view replyAddress(const char* recipient, const std::vector<FormEntry>& fields)
{
    if (replyToField[0] == '\0')
        return recipient;
    for (const auto& field : fields)
        if (field.name == replyToField)
            return isPlainAddress(field.value) ? std::string_view(field.value) : std::string_view(recipient);
    return recipient;
}

// The body as it is written, into room made for it, and what it holds that
// decides its encoding: a line longer than Internet mail allows (counted
// without its LF or CR LF), which relays refuse or break, or a CR alone,
// which relays drop, replace or take for a line end. Both are noted line by
// line while the body is written, since a second pass over a large body
// costs as much as the writing. Bytes go in through a cursor, not by
// appends: a form of short lines has a line every few bytes.
struct BodyLines {
    char* at;
    const char* lineStart = at;
    bool needsEncoding = false;

    void put(std::string_view text)
    {
        std::memcpy(at, text.data(), text.size());
        at += text.size();
    }

    // The line that began at lineStart ends here, before its line break.
    void endLine()
    {
        if (static_cast<std::size_t>(at - lineStart) > longestMailLine)
            needsEncoding = true;
    }

    // Ends the line with a LF; the next one starts after it.
    void newLine()
    {
        endLine();
        *at++ = '\n';
        lineStart = at;
    }

    // Writes `text` with `indent` spaces after each of its line breaks: a LF,
    // a CR LF (indented once, after the LF), or a CR alone, which mail
    // readers and relays also take for the end of a line. The report's own
    // text goes in with no indent.
    void putIndented(std::string_view text, std::size_t indent)
    {
        const char* p = text.data();
        const char* const end = p + text.size();
        const auto next = [&](char c) {
            const void* found = std::memchr(p, c, static_cast<std::size_t>(end - p));
            return found != nullptr ? static_cast<const char*>(found) : end;
        };
        // The next LF and the next CR, each searched for again only once
        // it is passed.
        const char* lf = next('\n');
        const char* cr = next('\r');
        for (;;) {
            if (lf < p)
                lf = next('\n');
            if (cr < p)
                cr = next('\r');
            const char* const lineBreak = lf < cr ? lf : cr;
            put({p, static_cast<std::size_t>(lineBreak - p)});
            if (lineBreak == end)
                return;
            endLine();
            *at++ = *lineBreak;
            p = lineBreak + 1;
            if (*lineBreak == '\r') {
                if (p < end && *p == '\n')
                    *at++ = *p++;
                else
                    needsEncoding = true;
            }
            lineStart = at;
            printSpaces(at, indent);
        }
    }
};

template <std::size_t N>
void putReport(BodyLines& body, std::string_view heading, const ReportLine (&lines)[N])
{
    body.putIndented(heading, 0);
    for (const auto& line : lines) {
        body.put("\t");
        body.put(line.label);
        body.putIndented(envOrUnknown(line.variable), 0);
        body.newLine();
    }
}

// Room kept in a body's buffer for the headers, which go in at its front last.
constexpr std::size_t headerRoom = 4096;

// How many line breaks `text` holds: every LF, and every CR that no LF
// follows.
std::size_t lineBreaks(std::string_view text)
{
    auto breaks = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    for (std::size_t cr = text.find('\r'); cr != std::string_view::npos; cr = text.find('\r', cr + 1))
        breaks += static_cast<std::size_t>(cr + 1 == text.size() || text[cr + 1] != '\n');
    return breaks;
}

// The body: the report on the visitor and the server, and every field; and
// whether it must be encoded for mail.
std::string composeBody(const std::vector<FormEntry>& fields, bool& encode)
{
    // Room for the longest the body can be, made once: the fields are
    // written into it through a cursor, and a body that grew by copies
    // would cost a fresh mapping and its page faults each time. The headers'
    // room stays spare at the end until the headers go in at the front.
    std::size_t room = headerRoom + 1024;  // the headers, and the report's own text
    for (const auto& line : visitorLines)
        room += std::strlen(envOrUnknown(line.variable));
    for (const auto& line : serverLines)
        room += std::strlen(envOrUnknown(line.variable));
    for (const auto& field : fields) {
        const std::size_t indent = field.name.size() + 2;
        room += (lineBreaks(field.name) + 1) * (field.name.size() + indent) + field.value.size() +
                lineBreaks(field.value) * indent + 4;
    }
    std::string out(room, '\0');

    BodyLines body{out.data()};
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
            printSpaces(body.at, indent);
        body.putIndented(field.value, indent);
        body.newLine();  // the field's last line
        body.newLine();  // and the empty line after it
        previous = &field.name;
    }
    out.resize(static_cast<std::size_t>(body.at - out.data()));
    encode = body.needsEncoding;
    return out;
}

} // namespace

void printSpaces(char*& at, std::size_t count)
{
    std::memset(at, ' ', count);
    at += count;
}

std::string headerTooLong(std::string_view recipient, std::string_view subject)
{
    const auto tooLong = [](const char* what, std::size_t length) {
        return std::string(what) + " of " + std::to_string(length) + " bytes makes a header line longer than " +
               std::to_string(longestMailLine) + " octets";
    };
    if (std::strlen("Reply-To: ") + recipient.size() > longestMailLine)
        return tooLong("the recipient", recipient.size());
    if (!subjectEncoded(subject) && std::strlen("Subject: ") + subject.size() > longestMailLine)
        return tooLong("the subject", subject.size());
    return {};
}

std::string quotedPrintable(std::string_view body)
{
    // Encoded lines of at most 76 characters: 75 and the "=" of a soft break.
    constexpr std::size_t width = 75;
    std::string out;
    out.reserve(3 * body.size() + body.size() / 25 + headerRoom);  // the most it can be, and the headers
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

std::string composeMessage(const char* recipient, const char* subject, const std::vector<FormEntry>& fields)
{
    const auto revision = keywordValue(revisionLevel, std::strlen("$Revision: "));
    const auto date = keywordValue(revisionDate, std::strlen("$Date: "));
    bool encoded = false;
    std::string body = composeBody(fields, encoded);

    std::string message;
    message.append("To: ").append(recipient).append("\n");
    message += "Cc:\n";
    if (subjectEncoded(subject))
        message += encodedSubjectLines(subject);
    else
        message.append("Subject: ").append(subject).append("\n");
    message.append("Reply-To: ").append(replyAddress(recipient, fields)).append("\n");
    message.append("X-Delivered-Via: Postern Version ").append(revision).append(" of ").append(date).append("\n");
    if (encoded || mailCharset[0] != '\0') {
        // The visitor's bytes go as the browser sent them: the site says in
        // which character set its forms send them; without that, a body of
        // ASCII says so, and any other says that its set is not known.
        const char* charset = mailCharset[0] != '\0' ? mailCharset : hasEightBit(body) ? "unknown-8bit" : "us-ascii";
        message += "MIME-Version: 1.0\n";
        message.append("Content-Type: text/plain; charset=").append(charset).append("\n");
        message.append("Content-Transfer-Encoding: ").append(encoded ? "quoted-printable" : "8bit").append("\n");
    }
    message += "\n";
    // Into the room the body keeps for it: the body moves up in place, with
    // no new allocation while the headers fit in headerRoom.
    std::string text = encoded ? quotedPrintable(body) : std::move(body);
    text.insert(0, message);
    return text;
}
