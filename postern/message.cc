#include "postern/message.h"

#include <cstdlib>
#include <cstring>
#include <string_view>

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

void printReport(std::FILE* out, const char* label, const char* variable)
{
    std::fprintf(out, "\t%s%s\n", label, envOrUnknown(variable));
}

// Writes a name or a value, indenting each line after a newline by `indent`
// spaces.
void printValue(std::FILE* out, std::string_view value, std::size_t indent)
{
    while (!value.empty()) {
        const auto newline = value.find('\n');
        const auto line = value.substr(0, newline == std::string_view::npos ? value.size() : newline + 1);
        std::fwrite(line.data(), 1, line.size(), out);
        value.remove_prefix(line.size());
        if (newline != std::string_view::npos)
            printSpaces(out, indent);
    }
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
