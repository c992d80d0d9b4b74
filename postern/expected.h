// postern's pages and mail as its black-box tests expect them, byte for byte,
// built from the texts the gateway must write.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formdecode/formdecode.h"

// A body of `count` fields: f0=v&f1=v&...
std::string numbered_fields(int count);

// The address the error pages name when the site sets none.
std::string host_webmaster();

std::string postern_success();
// The answer after a delivery when the site sends the visitor to `url`.
std::string postern_thanks(const std::string& url);
// An error page with `lines` between its opening and closing; `webmaster` is
// the address as the page shows it.
std::string postern_error(const std::string& lines, const std::string& webmaster = host_webmaster());
std::string postern_usage(const std::string& webmaster = host_webmaster());
// Why a form refuses a file, as its page says it: its name is too long, its
// kind is not one the form takes, its bytes are not what its name says, or
// it takes the files past the form's limit.
enum class FileRefusal { name, kind, bytes, limit };

// The answer to a script that asked for JSON: the status line's `status`
// ("405 Method Not Allowed"), the header lines `headers` before the content
// type, and the JSON `body`.
std::string postern_json(const std::string& status, const std::string& body, const std::string& headers = "");

// The page that refuses the file `name` (as the page shows it) of a form that
// takes the kinds `kinds` (pdf,docx,...), `most` bytes together.
std::string postern_file_refused(const std::string& name, FileRefusal why, const std::string& kinds,
                                 std::uint64_t most, const std::string& webmaster = host_webmaster());
inline const char* const mailer_failed = "<P>An error occurred executing the mailer.</P>\n";

// What the report lines of the mail show, in their order.
struct MailReport {
    std::string remoteHost = "(unknown)";
    std::string remoteAddr = "(unknown)";
    std::string agent = "(unknown)";
    std::string serverName = "(unknown)";
    std::string serverPort = "(unknown)";
    std::string serverSoftware = "(unknown)";
    std::string serverProtocol = "(unknown)";
    std::string gatewayInterface = "(unknown)";
    std::string scriptName = "(unknown)";
};

// The message: `mime` after the X-Delivered-Via line, the report, and
// `values` after the form-values title; replies go to `replyTo`, or to `to`
// when it is empty.
std::string postern_message(const std::string& values, const std::string& to = "forms@example.org",
                            const std::string& subject = "HTML Fill-Out Form Output",
                            const std::string& mime = "", const MailReport& report = {},
                            const std::string& replyTo = "");

// The MIME header lines of a body in `charset` with this transfer encoding.
std::string quoted_printable_mime(const std::string& charset = "us-ascii",
                                  const std::string& encoding = "quoted-printable");

// The form-values section for these fields as the layout defines it, byte by
// byte: each line after a LF, a CR LF or a CR alone, in a name or a value,
// indented to the value column.
std::string laid_out(const std::vector<FormEntry>& fields);

// The size of laid_out(fields), worked out from the layout's definition
// without making it: for fields whose layout is far too large to make.
std::uint64_t laid_out_size(const std::vector<FormEntry>& fields);

// A quoted-printable body decoded as a mail reader decodes it, white space at
// line ends dropped, each line end written as LF; "<bad encoding>" where
// an "=" starts no soft break and no two upper-case hex digits.
std::string decoded_quoted_printable(std::string_view text);

// `text` with each CR LF written as LF.
std::string lf_line_ends(std::string_view text);

// The longest line of `text` in octets, without its LF or CR LF.
std::size_t longest_line(std::string_view text);

// `bytes` in base64, in lines of 76 characters, each ending in LF.
std::string base64_lines(std::string_view bytes);

// A file of a mail: its type, the parameters of its Content-Disposition line
// after "attachment; ", and its bytes.
struct MailFile {
    std::string type;
    std::string disposition;
    std::string bytes;
};

// The mail of a form with files: the message for `values` as a text part
// with the header lines `textMime` (Content-Type and
// Content-Transfer-Encoding), then each file, between delimiters of
// `boundary`.
std::string postern_files_message(const std::string& values, const std::vector<MailFile>& files,
                                  const std::string& textMime =
                                      "Content-Type: text/plain; charset=us-ascii\nContent-Transfer-Encoding: 8bit\n",
                                  const std::string& boundary = "=_postern_00000000");
