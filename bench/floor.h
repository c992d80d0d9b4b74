// What the floors share: the body read whole, and the message handed to the
// mailer as postern hands it over (pipe, fork, exec, write, wait).
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <memory>

#include "config.h"

// Standard input whole, into one buffer sized by CONTENT_LENGTH (not cleared:
// the read fills it); `got` is how much arrived.
inline std::unique_ptr<char[]> read_whole_body(std::size_t& got)
{
    const char* length = std::getenv("CONTENT_LENGTH");
    const std::size_t size = length != nullptr ? std::strtoul(length, nullptr, 10) : 0;
    std::unique_ptr<char[]> body(new char[size]);
    got = 0;
    while (got < size) {
        const ssize_t n = read(STDIN_FILENO, body.get() + got, size - got);
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return body;
}

// Writes `size` bytes to `fd`; false when it cannot.
inline bool write_whole(int fd, const char* data, std::size_t size)
{
    for (std::size_t done = 0; done < size;) {
        const ssize_t n = write(fd, data + done, size - done);
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Starts the mailer on a pipe, writes `size` bytes into it and waits; true
// when all went in and the mailer exited 0.
inline bool mail_through(const char* data, std::size_t size)
{
    int link[2];
    if (pipe(link) != 0)
        return false;
    const pid_t child = fork();
    if (child == 0) {
        dup2(link[0], STDIN_FILENO);
        close(link[0]);
        close(link[1]);
        execl(mailerPath, "sendmail", "-t", "-oi", static_cast<char*>(nullptr));
        _exit(255);
    }
    close(link[0]);
    const bool written = write_whole(link[1], data, size);
    close(link[1]);
    int status = 0;
    waitpid(child, &status, 0);
    return written && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
