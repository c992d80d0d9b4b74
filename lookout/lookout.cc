// lookout: a one-line page that names the visitor's browser.

#include <cstdio>
#include <cstdlib>

#include "htmlescape/html_escape.h"

int main()
{
    const char* agent = std::getenv("HTTP_USER_AGENT");
    std::printf("Content-type: text/html%c%c", '\n', '\n');
    std::printf("I detect the following Web Browser: %s\n",
                agent != nullptr ? html_escape(agent).c_str() : "(unknown)");
    return 0;
}
