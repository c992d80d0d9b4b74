#include "folio/page.h"

#include <cstring>

#include "config.h"

void output_html(std::FILE* out)
{
    std::fprintf(out, "Content-type: text/html%c%c", '\n', '\n');
}

void output_location(const char* url, std::FILE* out)
{
    const int line = static_cast<int>(std::strcspn(url, "\r\n"));
    std::fprintf(out, "Location: %.*s%c%c", line, url, '\n', '\n');
}

void html_header(const char* title, std::FILE* out)
{
    std::fprintf(out, "<HTML><HEAD><TITLE>%s</TITLE></HEAD>\n", title);
    std::fputs("<BODY>\n", out);
}

void html_footer(std::FILE* out)
{
    std::fputs("</BODY></HTML>\n", out);
}

void orvik_header(const char* title, const char* bgcolor, std::FILE* out)
{
    std::fputs("<HTML>\n", out);
    std::fprintf(out, "<TITLE>%s</TITLE>", title);
    std::fprintf(out, "<BODY BGCOLOR=%s TEXT=BLACK><BR>\n", bgcolor);
    std::fputs("<IMG SRC=\"../IMAGES/orvik_2.gif\" ", out);
    std::fputs("ALIGN=MIDDLE WIDTH=66>\n", out);
    std::fputs("<FONT SIZE=+3><I>ORVIK Resume Workshop</I></FONT>\n", out);
    std::fputs("<HR>\n", out);
}

void orvik_signature(std::FILE* out)
{
    std::fputs("<hr noshade with=90%>\n", out);
    std::fprintf(out, "<h4 ALIGN=RIGHT><i> %s<BR>\n", orgName);
    std::fprintf(out, "%s<BR>\n", orgRoom);
    std::fprintf(out, "        %s<BR>\n", orgCity);
    std::fprintf(out, "\t %s<BR>\n", orgPhone);
    std::fputs("</h4></i>\n", out);
    std::fputs("</BODY></HTML>\n", out);
}
