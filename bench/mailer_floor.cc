// The floor for a request that starts a mailer: the same pipe, fork and exec
// of the same mailer as postern, a fixed short message, and the wait.

#include <cstring>

#include "bench/floor.h"

int main()
{
    static const char message[] = "To: forms@example.org\nCc:\nSubject: x\n\nfield: value\n\n";
    return mail_through(message, std::strlen(message)) ? 0 : 1;
}
