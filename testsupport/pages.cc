#include "testsupport/pages.h"

#include <unistd.h>

#include "folio/site.h"

namespace {

const std::string postern_top = "Content-type: text/html\n\n<TITLE>Form Submission Results</TITLE>\n";
const std::string drat = "<H1>Oh, Drat!  An Error Occurred!</H1>\n\n";

std::string host()
{
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    return name;
}

} // namespace

std::string numbered_fields(int count)
{
    std::string body;
    for (int i = 0; i < count; ++i)
        body += (i != 0 ? "&f" : "f") + std::to_string(i) + "=v";
    return body;
}

std::string postern_success()
{
    return postern_top +
           "<H1>Delivery Successful</H1>\n"
           "<P>Your input has been delivered successfully to\n"
           "the maintainer(s) of this form.</P>\n"
           "<P>Thank you for your time.</P>\n";
}

std::string postern_error(const std::string& lines)
{
    return postern_top + drat + lines + "<P>Please send a note to <I>webmaster@" + host() +
           "</I> and complain about this.</P>\n";
}

std::string postern_usage()
{
    return postern_top + drat +
           "<P>The arguments to this program have been impromperly\n"
           "specified on the server side.</P>\n"
           "Please send a note to <I>webmaster@" + host() + "</I> and complain\n"
           "about this.</P>\n";
}

std::string postern_message(const std::string& values, const std::string& to, const std::string& subject)
{
    return "To: " + to + "\nCc:\nSubject: " + subject + "\nReply-To: " + to +
           "\nX-Delivered-Via: Postern Version 1.1 of 1994/12/22 18:59:32\n\n"
           "\nREMOTE USER INFORMATION\n-----------------------\n"
           "\tRemote host name:      (unknown)\n"
           "\tRemote host address:   (unknown)\n"
           "\tRemote user's browser: (unknown)\n"
           "\nLOCAL SERVER INFORMATION\n------------------------\n"
           "\tServer host name:      (unknown)\n"
           "\tServer host port:      (unknown)\n"
           "\tServer software:       (unknown)\n"
           "\tServer protocol:       (unknown)\n"
           "\tGateway interface:     (unknown)\n"
           "\tCGI script name:       (unknown)\n"
           "\nFILL-OUT FORM VALUES\n--------------------\n" + values;
}

std::string folio_page(const std::string& count, const std::string& fields)
{
    return "Content-type: text/html\n\n"
           "<HTML>\n"
           "<TITLE>ORVIK-Resume Workshop</TITLE><BODY BGCOLOR=white TEXT=BLACK><BR>\n"
           "<IMG SRC=\"../IMAGES/orvik_2.gif\" ALIGN=MIDDLE WIDTH=66>\n"
           "<FONT SIZE=+3><I>ORVIK Resume Workshop</I></FONT>\n"
           "<HR>\n" + count + fields +
           "<hr noshade with=90%>\n<h4 ALIGN=RIGHT><i> " + orgName + "<BR>\n" +
           orgRoom + "<BR>\n        " + orgCity + "<BR>\n\t " + orgPhone + "<BR>\n"
           "</h4></i>\n</BODY></HTML>\n";
}

std::string lookout_page(const std::string& shown)
{
    return "Content-type: text/html\n\nI detect the following Web Browser: " + shown + "\n";
}
