// The mail message over hostile fields: whatever the names and values, the
// header block is the gateway's own lines, no line is longer than mail
// allows, the message read as a mail reader reads it is the fields' layout,
// in it only a field's first line starts at the left margin, and the bytes
// the composer counted before it made the message are the bytes it wrote.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "postern/expected.h"
#include "postern/message.h"

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

// Every line of the form-values section that starts at the left margin
// follows an empty line: it starts a field. Lines end at a LF, or at a CR
// not followed by one.
void checkMargins(const std::string& text, std::size_t fields)
{
    const std::string title = "\nFILL-OUT FORM VALUES\n--------------------\n";
    const std::size_t values = text.find(title);
    check(values != std::string::npos);
    std::size_t starts = 0;
    for (std::size_t at = values + title.size(); at < text.size(); ++at) {
        const char before = text[at - 1];
        const bool lineStart = before == '\n' || (before == '\r' && text[at] != '\n');
        if (!lineStart || text[at] == ' ' || text[at] == '\n' || text[at] == '\r')
            continue;
        check(at == values + title.size() || (text[at - 1] == '\n' && text[at - 2] == '\n'));
        ++starts;
    }
    check(starts <= fields);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Fields as a decoded form would give them: split at 0x01 into fields and
    // at 0x02 into name and value; a NUL ends a text.
    std::vector<FormEntry> fields;
    std::string text(reinterpret_cast<const char*>(data), size);
    std::size_t start = 0;
    while (start <= text.size() && fields.size() < 64) {
        std::size_t end = text.find('\x01', start);
        if (end == std::string::npos)
            end = text.size();
        std::string field = text.substr(start, end - start);
        field.resize(std::min(field.size(), field.find('\0')));
        const auto split = field.find('\x02');
        if (split == std::string::npos)
            fields.push_back({field, ""});
        else
            fields.push_back({field.substr(0, split), field.substr(split + 1)});
        start = end + 1;
    }

    // What the composer counts before it allocates is what it writes.
    const LayoutCheck layout = layoutCheck(fields);
    check(layout.counted == layout.written);
    Mail mail;
    std::uint64_t mailSize = 0;
    Settings form;
    form.recipient = "forms@example.org";
    form.subject = "Subject";
    check(composeMessage(form, fields, UINT64_MAX, mail, mailSize));
    check(mailSize == mail.size);
    const std::string message(mail.text());
    check(longest_line(message) <= longestMailLine);
    const std::string plain = postern_message(laid_out(fields), "forms@example.org", "Subject");
    const std::string body = plain.substr(plain.find("\n\n") + 2);
    if (message == plain) {
        checkMargins(body, fields.size());
        return 0;
    }
    // Quoted-printable: the gateway's headers with the MIME lines, short
    // lines, and the same text once decoded.
    const bool eightBit = std::any_of(body.begin(), body.end(), [](char c) { return (c & 0x80) != 0; });
    std::string headers = postern_message("", "forms@example.org", "Subject",
                                          quoted_printable_mime(eightBit ? "unknown-8bit" : "us-ascii"));
    headers.resize(headers.find("\n\n") + 2);
    check(message.compare(0, headers.size(), headers) == 0);
    const std::string encoded = message.substr(headers.size());
    check(longest_line(encoded) <= 76);
    const std::string decoded = decoded_quoted_printable(encoded);
    check(decoded == lf_line_ends(body));
    checkMargins(decoded, fields.size());
    return 0;
}
