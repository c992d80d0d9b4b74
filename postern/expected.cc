#include "postern/expected.h"

#include <unistd.h>

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
    char name[256] = {};
    gethostname(name, sizeof name - 1);
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

std::string postern_error(const std::string& lines, const std::string& webmaster)
{
    return std::string(postern_top) + drat + lines + "<P>Please send a note to <I>" + webmaster +
           "</I> and complain about this.</P>\n";
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
                            const std::string& mime)
{
    return "To: " + to + "\nCc:\nSubject: " + subject + "\nReply-To: " + to +
           "\nX-Delivered-Via: Postern Version 1.1 of 1994/12/22 18:59:32\n" + mime + "\n"
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
