// lookout: a one-line page that names the visitor's browser.

#include <cstdio>
#include <cstdlib>

#include "htmlescape/html_escape.h"

int main()
{
    const char* agent = std::getenv("HTTP_USER_AGENT");
    std::printf("Content-type: text/html%c%c", '\n', '\n');
    std::fputs("I detect the following Web Browser: ", stdout);
    if (agent != nullptr)
        print_html_escaped(stdout, agent);
    else
        std::fputs("(unknown)", stdout);
    std::fputs("\n", stdout);
    return 0;
}
