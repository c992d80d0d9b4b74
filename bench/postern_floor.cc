// The floor of a large form through the gateway: what any gateway that must
// hold the whole form before it starts the mailer has to do. Reads standard
// input whole into one buffer sized by CONTENT_LENGTH, makes the pipe, forks,
// execs the same mailer as postern, writes the buffer into it and waits.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "config.h"

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
    int link[2];
    if (pipe(link) != 0)
        return 1;
    const pid_t child = fork();
    if (child == 0) {
        dup2(link[0], STDIN_FILENO);
        close(link[0]);
        close(link[1]);
        execl(mailerPath, "sendmail", "-t", "-oi", static_cast<char*>(nullptr));
        _exit(255);
    }
    close(link[0]);
    std::size_t written = 0;
    while (written < got) {
        const ssize_t n = write(link[1], body.get() + written, got - written);
        if (n <= 0)
            break;
        written += static_cast<std::size_t>(n);
    }
    close(link[1]);
    int status = 0;
    waitpid(child, &status, 0);
    return written == got && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
