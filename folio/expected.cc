#include "folio/expected.h"

#include "config.h"

std::string folio_field(const std::string& name, const std::string& value)
{
    return "\n" + name + "<BR>\n\n" + value + "<BR>\n";
}

std::string folio_page(const std::string& count, const std::string& fields)
{
    return std::string("Content-type: text/html\n\n"
                       "<HTML>\n"
                       "<TITLE>ORVIK-Resume Workshop</TITLE><BODY BGCOLOR=white TEXT=BLACK><BR>\n"
                       "<IMG SRC=\"../IMAGES/orvik_2.gif\" ALIGN=MIDDLE WIDTH=66>\n"
                       "<FONT SIZE=+3><I>ORVIK Resume Workshop</I></FONT>\n"
                       "<HR>\n") +
           count + fields + "<hr noshade with=90%>\n<h4 ALIGN=RIGHT><i> " + orgName + "<BR>\n" + orgRoom +
           "<BR>\n        " + orgCity + "<BR>\n\t " + orgPhone + "<BR>\n</h4></i>\n</BODY></HTML>\n";
}
