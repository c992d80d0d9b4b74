// The floor of a large form through the echo page: the page gives the
// number of fields before the fields, so the whole form is held before any
// of it is written. Reads standard input whole into one buffer sized by
// CONTENT_LENGTH, then writes it to standard output.

#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <memory>

int main()
{
    const char* length = std::getenv("CONTENT_LENGTH");
    const std::size_t size = length != nullptr ? std::strtoul(length, nullptr, 10) : 0;
    const std::unique_ptr<char[]> body(new char[size]);  // not cleared: read fills it
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = read(STDIN_FILENO, body.get() + got, size - got);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    for (std::size_t done = 0; done < got;) {
        const ssize_t n = write(STDOUT_FILENO, body.get() + done, got - done);
        if (n <= 0)
            return 1;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}
