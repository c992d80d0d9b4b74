// The mail message over hostile fields: whatever the names and values, the
// header block stays the gateway's own six lines, and every line of the
// fields section starts a field or stands in the value column, the lines of
// a name with line breaks included.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "postern/message.h"

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
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

    char* out = nullptr;
    std::size_t length = 0;
    std::FILE* f = open_memstream(&out, &length);
    writeMessage(f, "forms@example.org", "Subject", fields);
    std::fclose(f);
    const std::string message(out, length);
    std::free(out);

    const std::string header =
        "To: forms@example.org\nCc:\nSubject: Subject\nReply-To: forms@example.org\n"
        "X-Delivered-Via: Postern Version 1.1 of 1994/12/22 18:59:32\n\n";
    check(message.compare(0, header.size(), header) == 0);

    const std::string title = "\nFILL-OUT FORM VALUES\n--------------------\n";
    const auto values = message.find(title);
    check(values != std::string::npos);

    // Each field: its first line starts with "name: " or the indentation, each
    // of its continuation lines with the indentation; it ends in two newlines.
    std::size_t at = values + title.size();
    const std::string* previous = nullptr;
    for (const auto& field : fields) {
        const std::string indent(field.name.size() + 2, ' ');
        // A name's own line breaks are followed by the indent too.
        std::string lead = indent;
        if (previous == nullptr || *previous != field.name) {
            lead.clear();
            for (const char c : field.name)
                lead += c == '\n' ? "\n" + indent : std::string(1, c);
            lead += ": ";
        }
        check(message.compare(at, lead.size(), lead) == 0);
        at += lead.size();
        for (const char c : field.value) {
            check(message[at++] == c);
            if (c == '\n') {
                check(message.compare(at, indent.size(), indent) == 0);
                at += indent.size();
            }
        }
        check(message.compare(at, 2, "\n\n") == 0);
        at += 2;
        previous = &field.name;
    }
    check(at == message.size());
    return 0;
}
