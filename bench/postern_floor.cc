// The floor of a large form through the gateway: what any gateway that must
// hold the whole form before it starts the mailer has to do. Reads standard
// input whole into one buffer sized by CONTENT_LENGTH, makes the pipe, forks,
// execs the same mailer as postern, writes the buffer into it and waits.

#include "bench/floor.h"

int main()
{
    std::size_t got = 0;
    const auto body = read_whole_body(got);
    return mail_through(body.get(), got) ? 0 : 1;
}
