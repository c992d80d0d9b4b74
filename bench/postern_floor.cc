// The floor of a form through the gateway: what any gateway must do that
// holds the whole form, and then the whole message, before it starts the
// mailer, so that nothing is half sent. Reads standard input whole into one
// buffer sized by CONTENT_LENGTH, fills a buffer of the message's size (the
// first argument, in bytes) from it, makes the pipe, forks, execs the same
// mailer as postern, writes that buffer into it and waits.

#include <algorithm>
#include <string>

#include "bench/floor.h"

int main(int argc, char** argv)
{
    std::size_t got = 0;
    const auto body = read_whole_body(got);
    const std::size_t size = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : got;
    std::string message;
    message.reserve(size);
    while (message.size() < size && got > 0)
        message.append(body.get(), std::min(got, size - message.size()));
    message.resize(size, ' ');
    return mail_through(message.data(), message.size()) ? 0 : 1;
}
