// The floor for a request that starts a mailer: the same pipe, fork and exec
// of the same mailer as postern, a fixed short message, and the wait.

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "config.h"

int main()
{
    static const char message[] = "To: forms@example.org\nCc:\nSubject: x\n\nfield: value\n\n";
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
    const ssize_t written = write(link[1], message, std::strlen(message));
    close(link[1]);
    int status = 0;
    waitpid(child, &status, 0);
    return written > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
}
