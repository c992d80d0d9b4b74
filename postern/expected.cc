#include "postern/expected.h"

#include <unistd.h>

#include <algorithm>

namespace {

constexpr char postern_top[] = "Content-type: text/html\n\n<TITLE>Form Submission Results</TITLE>\n";
constexpr char drat[] = "<H1>Oh, Drat!  An Error Occurred!</H1>\n\n";

} // namespace

std::string numbered_fields(int count)
{
    std::string body;
    for (int i = 0; i < count; ++i)
        body += (i != 0 ? "&f" : "f") + std::to_string(i) + "=v";
    return body;
}

std::string host_webmaster()
{
    char name[128] = {};  // as postern takes it
    gethostname(name, sizeof name);
    name[sizeof name - 1] = '\0';
    return std::string("webmaster@") + name;
}

std::string postern_success()
{
    return std::string(postern_top) +
           "<H1>Delivery Successful</H1>\n"
           "<P>Your input has been delivered successfully to\n"
           "the maintainer(s) of this form.</P>\n"
           "<P>Thank you for your time.</P>\n";
}

std::string postern_thanks(const std::string& url)
{
    return "Status: 303 See Other\nLocation: " + url + "\nContent-type: text/html\n\n"
           "<P>Your input has been delivered: <A HREF=\"" + url + "\">continue</A>.</P>\n";
}

std::string postern_error(const std::string& lines, const std::string& webmaster)
{
    return std::string(postern_top) + drat + lines + "<P>Please send a note to <I>" + webmaster +
           "</I> and complain about this.</P>\n";
}

std::string postern_file_refused(const std::string& name, FileRefusal why, const std::string& kinds,
                                 std::uint64_t most, const std::string& webmaster)
{
    const char* const what[] = {"has a name longer than 255 bytes", "is not of a kind this form takes",
                                "is not what its name says", "would take the files past this form's limit"};
    std::string endings;
    for (std::size_t at = 0; at <= kinds.size();) {
        const std::size_t comma = std::min(kinds.find(',', at), kinds.size());
        endings += (endings.empty() ? "." : ", .") + kinds.substr(at, comma - at);
        at = comma + 1;
    }
    return postern_error("<P>The file <I>" + name + "</I> " + what[static_cast<int>(why)] +
                             ".</P>\n<P>This form takes files ending in " + endings + ", of at most " +
                             std::to_string(most) + " bytes together.</P>\n",
                         webmaster);
}

std::string postern_json(const std::string& status, const std::string& body, const std::string& headers)
{
    return "Status: " + status + "\n" + headers + "Content-type: application/json\n\n" + body + "\n";
}

std::string postern_usage(const std::string& webmaster)
{
    return std::string(postern_top) + drat +
           "<P>The arguments to this program have been impromperly\n"
           "specified on the server side.</P>\n"
           "Please send a note to <I>" + webmaster + "</I> and complain\n"
           "about this.</P>\n";
}

std::string postern_message(const std::string& values, const std::string& to, const std::string& subject,
                            const std::string& mime, const MailReport& report, const std::string& replyTo)
{
    return "To: " + to + "\nCc:\nSubject: " + subject + "\nReply-To: " + (replyTo.empty() ? to : replyTo) +
           "\nX-Delivered-Via: Postern Version 1.1 of 1994/12/22 18:59:32\n" + mime + "\n"
           "\nREMOTE USER INFORMATION\n-----------------------\n"
           "\tRemote host name:      " + report.remoteHost + "\n"
           "\tRemote host address:   " + report.remoteAddr + "\n"
           "\tRemote user's browser: " + report.agent + "\n"
           "\nLOCAL SERVER INFORMATION\n------------------------\n"
           "\tServer host name:      " + report.serverName + "\n"
           "\tServer host port:      " + report.serverPort + "\n"
           "\tServer software:       " + report.serverSoftware + "\n"
           "\tServer protocol:       " + report.serverProtocol + "\n"
           "\tGateway interface:     " + report.gatewayInterface + "\n"
           "\tCGI script name:       " + report.scriptName + "\n"
           "\nFILL-OUT FORM VALUES\n--------------------\n" + values;
}

std::string quoted_printable_mime(const std::string& charset, const std::string& encoding)
{
    return "MIME-Version: 1.0\nContent-Type: text/plain; charset=" + charset +
           "\nContent-Transfer-Encoding: " + encoding + "\n";
}

std::string laid_out(const std::vector<FormEntry>& fields)
{
    std::string out;
    const std::string* previous = nullptr;
    for (const auto& field : fields) {
        const std::string indent(field.name.size() + 2, ' ');
        const auto put = [&](const std::string& text) {
            for (std::size_t i = 0; i < text.size(); ++i) {
                out += text[i];
                if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n')))
                    out += indent;
            }
        };
        if (previous != nullptr && *previous == field.name)
            out += indent;
        else {
            put(field.name);
            out += ": ";
        }
        put(field.value);
        out += "\n\n";
        previous = &field.name;
    }
    return out;
}

std::uint64_t laid_out_size(const std::vector<FormEntry>& fields)
{
    // Each LF, and each CR that no LF follows, is followed by the indent.
    const auto breaks = [](const std::string& text) {
        std::uint64_t count = 0;
        for (std::size_t i = 0; i < text.size(); ++i)
            count += text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'));
        return count;
    };
    std::uint64_t size = 0;
    const std::string* previous = nullptr;
    for (const auto& field : fields) {
        const std::uint64_t indent = field.name.size() + 2;
        if (previous != nullptr && *previous == field.name)
            size += indent;
        else
            size += field.name.size() + breaks(field.name) * indent + 2;
        size += field.value.size() + breaks(field.value) * indent + 2;
        previous = &field.name;
    }
    return size;
}

std::string decoded_quoted_printable(std::string_view text)
{
    const auto hex = [](char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    };
    std::string out;
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        std::string_view line = text.substr(0, lf);
        text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
        const bool hardBreak = lf != std::string_view::npos;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
            line.remove_suffix(1);
        bool soft = false;
        for (std::size_t i = 0; i < line.size(); ++i) {
            if (line[i] != '=') {
                out += line[i];
            } else if (i + 1 == line.size()) {
                soft = true;
            } else if (i + 2 < line.size() && hex(line[i + 1]) >= 0 && hex(line[i + 2]) >= 0) {
                out += static_cast<char>(hex(line[i + 1]) * 16 + hex(line[i + 2]));
                i += 2;
            } else {
                return "<bad encoding>";
            }
        }
        if (hardBreak && !soft)
            out += '\n';
    }
    return out;
}

std::string lf_line_ends(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    return out;
}

std::size_t longest_line(std::string_view text)
{
    std::size_t longest = 0;
    while (!text.empty()) {
        const std::size_t lf = text.find('\n');
        std::size_t length = lf == std::string_view::npos ? text.size() : lf;
        if (lf != std::string_view::npos && length > 0 && text[length - 1] == '\r')
            --length;
        longest = std::max(longest, length);
        text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
    }
    return longest;
}

std::string base64_lines(std::string_view bytes)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string characters;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const auto byte = [&](std::size_t k) { return k < bytes.size() ? static_cast<unsigned char>(bytes[k]) : 0U; };
        const unsigned group = byte(i) << 16 | byte(i + 1) << 8 | byte(i + 2);
        for (std::size_t k = 0; k < 4; ++k)
            characters += k <= bytes.size() - i ? alphabet[(group >> (18 - 6 * k)) & 63] : '=';
    }
    std::string lines;
    for (std::size_t at = 0; at < characters.size(); at += 76)
        lines += characters.substr(at, 76) + "\n";
    return lines;
}

std::string postern_files_message(const std::string& values, const std::vector<MailFile>& files,
                                  const std::string& textMime, const std::string& boundary)
{
    const std::string whole = postern_message(values);
    const std::size_t bodyStart = whole.find("\n\n") + 2;
    std::string mail = whole.substr(0, bodyStart - 1) + "MIME-Version: 1.0\nContent-Type: multipart/mixed; boundary=\"" +
                       boundary + "\"\n\n--" + boundary + "\n" + textMime + "\n" + whole.substr(bodyStart) + "\n";
    for (const auto& file : files)
        mail += "--" + boundary + "\nContent-Type: " + file.type + "\nContent-Disposition: attachment; " +
                file.disposition + "\nContent-Transfer-Encoding: base64\n\n" + base64_lines(file.bytes) + "\n";
    return mail + "--" + boundary + "--\n";
}
