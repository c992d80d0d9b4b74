// The mail that postern hands to the mailer for one form submission: the
// header block the mailer takes its recipients from, a report on the visitor
// and the server, and every field of the form.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "formdecode/formdecode.h"
#include "postern/settings.h"

// The gateway's version and date, as stored keyword strings.
extern const char revisionLevel[];
extern const char revisionDate[];

// Shown in place of an environment variable that is not set.
extern const char* const unknown;

// The longest line Internet mail may carry, in octets without its line end:
// relays refuse or rewrite longer ones.
inline constexpr std::size_t longestMailLine = 998;

// The largest message a form of `bodyBytes` bytes may make: the value column's
// indent after every line break makes a message grow with a name's length
// times the line breaks under it, so without a bound a body of a few
// kilobytes could make gigabytes of mail.
inline constexpr std::uint64_t mailBoundPerByte = 16;
inline constexpr std::uint64_t mailBoundExtra = 1 << 20;
constexpr std::uint64_t mailBound(std::uint64_t bodyBytes)
{
    return mailBoundPerByte * bodyBytes + mailBoundExtra;
}

// Writes `count` spaces at `at`, into room the message being written keeps
// for them, and moves `at` past them.
void printSpaces(char*& at, std::size_t count);

// Why the recipient or the subject cannot stand in the mail's header lines
// (a line of more than longestMailLine octets), for the error log; empty when
// both fit.
std::string headerTooLong(const Settings& settings);

// The whole message, made before the mailer starts so that nothing is ever
// half sent. Values of a repeated neighbouring name and every line after a
// line break (LF, CR LF, or a CR alone) in a name or a value are indented to
// the value column, so that only the gateway's own lines start at the left
// margin. A body that holds a line longer than longestMailLine, or a CR
// alone, goes as quoted-printable, which every relay carries unchanged and
// every reader decodes to the same text. Replies go to the recipient, or,
// when the form names a reply field, to the one plain address the visitor
// typed into it.
//
// The message's size is counted before anything is made; when it would pass
// `limit` bytes nothing is made, and the result is false with `size` the
// count (saturated at its type's end).
struct Mail {
    std::unique_ptr<char[]> bytes;  // the message as laid out, or
    std::string encoded;            // the message with its body as quoted-printable
    std::size_t size = 0;

    std::string_view text() const { return bytes ? std::string_view(bytes.get(), size) : std::string_view(encoded); }
};
// A file the form sent: the last component of its name, as sent, its kind,
// and its bytes. With files, the mail is multipart/mixed: the text as it
// would go alone, then each file in base64.
struct Attachment {
    std::string filename;
    const FileKind* kind;
    std::string_view bytes;
};
bool composeMessage(const Settings& settings, const std::vector<FormEntry>& fields, std::uint64_t limit, Mail& mail,
                    std::uint64_t& size, const std::vector<Attachment>& files = {});

// The bytes of the body's layout (the report and the fields, before any
// transfer encoding): counted, and as the writer wrote them. The two are one
// routine run twice; the message fuzzer holds them to each other.
struct LayoutCheck {
    std::uint64_t counted;
    std::size_t written;
};
LayoutCheck layoutCheck(const std::vector<FormEntry>& fields);

// The body as quoted-printable: lines of at most 76 characters, soft breaks
// where a line of the text is longer, a CR LF or LF of the text as a line
// break of the mail.
std::string quotedPrintable(std::string_view body);
