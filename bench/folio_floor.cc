// The floor of a large form through the echo page: the page gives the
// number of fields before the fields, so the whole form is held before any
// of it is written. Reads standard input whole into one buffer sized by
// CONTENT_LENGTH, then writes it to standard output.

#include "bench/floor.h"

int main()
{
    std::size_t got = 0;
    const auto body = read_whole_body(got);
    return write_whole(STDOUT_FILENO, body.get(), got) ? 0 : 1;
}
