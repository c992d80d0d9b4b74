// e2e_expected: prints, for the end-to-end tests, what a page or a mail of
// this build must be, byte for byte, from the same expected texts the
// black-box tests hold, with this build's settings:
//   e2e_expected success | usage | error LINES | lookout SHOWN
//   e2e_expected echo [NAME VALUE]...
//   e2e_expected thanks URL
//   e2e_expected file-refused NAME name|kind|bytes|limit KINDS MOST
//   e2e_expected mail TO SUBJECT CHARSET ENCODING REPLY-TO VALUES REPORT...
// Pages come whole, with their CGI header; a mail with its headers. For a
// mail, CHARSET and ENCODING name the MIME lines (both empty: none), an empty
// REPLY-TO is TO, and the nine REPORT values are the report's, in its order.

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "config.h"
#include "folio/expected.h"
#include "htmlescape/html_escape.h"
#include "lookout/expected.h"
#include "postern/expected.h"

namespace {

std::string siteWebmaster()
{
    return webmaster[0] != '\0' ? html_escape(webmaster) : host_webmaster();
}

std::string expected(const std::vector<std::string>& a)
{
    const std::string& what = a.at(0);
    if (what == "success")
        return postern_success();
    if (what == "usage")
        return postern_usage(siteWebmaster());
    if (what == "error")
        return postern_error(a.at(1), siteWebmaster());
    if (what == "thanks")
        return postern_thanks(a.at(1));
    if (what == "file-refused") {
        const std::string reasons[] = {"name", "kind", "bytes", "limit"};
        const auto why = static_cast<FileRefusal>(std::find(std::begin(reasons), std::end(reasons), a.at(2)) - reasons);
        return postern_file_refused(a.at(1), why, a.at(3), std::stoull(a.at(4)), siteWebmaster());
    }
    if (what == "lookout")
        return lookout_page(a.at(1));
    if (what == "echo") {
        std::string fields;
        for (std::size_t i = 1; i + 1 < a.size(); i += 2)
            fields += folio_field(a[i], a[i + 1]);
        return folio_page(std::to_string((a.size() - 1) / 2), fields);
    }
    if (what == "mail" && a.size() == 16) {
        const std::string mime = a[3].empty() ? "" : quoted_printable_mime(a[3], a[4]);
        const MailReport report{a[7], a[8], a[9], a[10], a[11], a[12], a[13], a[14], a[15]};
        return postern_message(a[6], a[1], a[2], mime, report, a[5]);
    }
    throw std::invalid_argument("e2e_expected: no such text: " + what);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string text = expected(std::vector<std::string>(argv + 1, argv + argc));
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}
