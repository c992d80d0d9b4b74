// A stand-in for the host's mailer in the gateway's tests. It records its
// argument list, its environment, the descriptors it was started with and
// the disposition of SIGPIPE it inherited, and every byte it reads from
// standard input, into its working folder (the gateway's, which the test
// sets), and behaves as the file "mode" there says:
//   read:N       read everything, then exit with status N (the default, N = 0)
//   noread:N     exit with status N without reading
//   partial:K:N  read K bytes, then exit with status N
//   signal       read a little, then die by SIGKILL
//   chatter      print a line on standard output, then read everything, exit 0
//   slow         read everything in small pieces with pauses, exit 0
//   stay:S       exit 0 without reading, S milliseconds after closing stdin
//   hang         read everything, then sleep on, SIGTERM ignored
// Only tests use it; it trusts its folder.

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>

extern char** environ;

namespace {

std::string dir()
{
    return ".";
}

void recordEnvironment()
{
    std::FILE* f = std::fopen((dir() + "/environment").c_str(), "w");
    if (f == nullptr)
        std::exit(70);
    for (char** entry = environ; *entry != nullptr; ++entry)
        std::fprintf(f, "%s\n", *entry);
    std::fclose(f);
}

std::string modeFile()
{
    std::ifstream f(dir() + "/mode");
    std::ostringstream text;
    text << f.rdbuf();
    std::string mode = text.str();
    return mode.empty() ? "read:0" : mode;
}

void recordArguments(int argc, char** argv)
{
    std::FILE* f = std::fopen((dir() + "/args").c_str(), "w");
    if (f == nullptr)
        std::exit(70);
    for (int i = 0; i < argc; ++i)
        std::fprintf(f, "%s\n", argv[i]);
    std::fclose(f);
}

// "descriptors: 0 1 2\nSIGPIPE: default\n" for a mailer started as a
// program expects to be.
void recordSetup()
{
    std::FILE* f = std::fopen((dir() + "/setup").c_str(), "w");
    if (f == nullptr)
        std::exit(70);
    const int own = fileno(f);
    std::fputs("descriptors:", f);
    for (int fd = 0; fd < 1024; ++fd)
        if (fd != own && fcntl(fd, F_GETFD) >= 0)
            std::fprintf(f, " %d", fd);
    struct sigaction pipeAction {};
    sigaction(SIGPIPE, nullptr, &pipeAction);
    std::fprintf(f, "\nSIGPIPE: %s\n", pipeAction.sa_handler == SIG_DFL ? "default" : "not default");
    std::fclose(f);
}

void pause(long milliseconds)
{
    const timespec t{milliseconds / 1000, (milliseconds % 1000) * 1000000};
    nanosleep(&t, nullptr);
}

// Copies up to `limit` bytes of standard input to the message file.
void readMessage(long limit, std::size_t piece, long pauseMs)
{
    std::FILE* f = std::fopen((dir() + "/message").c_str(), "w");
    if (f == nullptr)
        std::exit(70);
    char buf[65536];
    long total = 0;
    while (limit < 0 || total < limit) {
        std::size_t want = piece;
        if (limit >= 0 && static_cast<long>(want) > limit - total)
            want = static_cast<std::size_t>(limit - total);
        const ssize_t got = read(STDIN_FILENO, buf, want);
        if (got <= 0)
            break;
        std::fwrite(buf, 1, static_cast<std::size_t>(got), f);
        total += got;
        if (pauseMs > 0)
            pause(pauseMs);
    }
    std::fclose(f);
}

} // namespace

int main(int argc, char** argv)
{
    recordArguments(argc, argv);
    recordEnvironment();
    recordSetup();
    const std::string mode = modeFile();
    const auto after = [&](std::size_t at) { return std::atoi(mode.c_str() + at); };

    if (mode.rfind("read:", 0) == 0) {
        readMessage(-1, 65536, 0);
        return after(5);
    }
    if (mode.rfind("noread:", 0) == 0)
        return after(7);
    if (mode.rfind("partial:", 0) == 0) {
        const long bytes = std::atol(mode.c_str() + 8);
        const char* status = std::strchr(mode.c_str() + 8, ':');
        readMessage(bytes, 65536, 0);
        return status != nullptr ? std::atoi(status + 1) : 0;
    }
    if (mode == "signal") {
        readMessage(16, 16, 0);
        std::raise(SIGKILL);
    }
    if (mode == "chatter") {
        std::fputs("mailer chatter on standard output\n", stdout);
        std::fflush(stdout);
        readMessage(-1, 65536, 0);
        return 0;
    }
    if (mode == "slow") {
        readMessage(-1, 512, 2);
        return 0;
    }
    if (mode == "hang") {
        std::signal(SIGTERM, SIG_IGN);
        readMessage(-1, 65536, 0);
        for (;;)
            pause(1000);
    }
    if (mode.rfind("stay:", 0) == 0) {
        close(STDIN_FILENO);
        pause(after(5));
        return 0;
    }
    return 64;
}
