#include "testsupport/run_program.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

// An unlinked temporary file, open for reading and writing.
int temp_file()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string name = std::string(tmp != nullptr ? tmp : "/tmp") + "/cgitest.XXXXXX";
    const int fd = mkstemp(name.data());
    if (fd < 0)
        throw std::runtime_error("mkstemp failed");
    unlink(name.c_str());
    return fd;
}

void write_all(int fd, const std::string& data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = write(fd, data.data() + done, data.size() - done);
        if (n <= 0)
            throw std::runtime_error("write failed");
        done += static_cast<std::size_t>(n);
    }
}

// Writes `body` into the socket `fd` as a server hands a body over: the
// first 64 KiB in pieces of 1 to 4181 bytes with short pauses, so that the
// program's reads come back short and stdio refills its buffer mid-field; the
// rest in large pieces; then the end of input. Answers false when the
// program stopped reading first.
bool write_in_pieces(int fd, const std::string& body)
{
    std::size_t done = 0;
    std::size_t small = 1;
    std::size_t next = 2;
    while (done < body.size()) {
        std::size_t piece = 65536;
        if (done < 65536) {
            piece = small;
            small = next;
            next = piece + next <= 4181 ? piece + next : 1;
            const timespec pause{0, 100000};
            nanosleep(&pause, nullptr);
        }
        piece = std::min(piece, body.size() - done);
        const ssize_t n = write(fd, body.data() + done, piece);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;  // the program has stopped reading
        done += static_cast<std::size_t>(n);
    }
    shutdown(fd, SHUT_WR);
    return true;
}

// After the program has ended: whether it closed its end with bytes of the
// body unread, which a socket reports as a reset.
bool reset_by_program(int fd)
{
    char byte = 0;
    return recv(fd, &byte, 1, MSG_DONTWAIT) < 0 && errno == ECONNRESET;
}

std::string read_all(int fd)
{
    std::string data;
    lseek(fd, 0, SEEK_SET);
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0)
        data.append(buf, static_cast<std::size_t>(n));
    return data;
}

} // namespace

Outcome run_program(const std::string& path, const Request& request)
{
    // A program that stops reading must not end the test with SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    int in = -1;
    int feeder = -1;
    if (request.feed == Feed::pieces) {
        int link[2];
        if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, link) != 0)
            throw std::runtime_error("socketpair failed");
        in = link[0];
        feeder = link[1];
    } else {
        in = temp_file();
        write_all(in, request.body);
        lseek(in, 0, SEEK_SET);
    }
    const int out = temp_file();
    const int err = temp_file();

    std::vector<std::string> envText;
    for (const auto& [name, value] : request.env)
        envText.push_back(std::string(name).append("=").append(value));
    // A sanitized build's settings reach the program under test too.
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
        if (const char* value = std::getenv(name); value != nullptr)
            envText.push_back(std::string(name).append("=").append(value));
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const auto& arg : request.args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    envp.reserve(envText.size() + 1);
    for (auto& entry : envText)
        envp.push_back(entry.data());
    envp.push_back(nullptr);

    const pid_t child = fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        dup2(in, STDIN_FILENO);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        close_range(3, ~0U, 0);  // nothing else of the test process leaks in
        for (const int fd : request.closed)
            close(fd);
        for (const int fd : request.inherited)
            dup2(STDIN_FILENO, fd);
        std::signal(SIGPIPE, SIG_DFL);  // as a server starts a program
        for (const int signal : request.ignored)
            std::signal(signal, SIG_IGN);
        if (request.memoryLimit != 0) {
            const rlimit limit{request.memoryLimit, request.memoryLimit};
            setrlimit(RLIMIT_AS, &limit);
        }
        if (request.fileLimit != 0) {
            const rlimit limit{request.fileLimit, request.fileLimit};
            setrlimit(RLIMIT_NOFILE, &limit);
        }
        if (!request.dir.empty() && chdir(request.dir.c_str()) != 0)
            _exit(126);
        execve(path.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    std::thread writer;
    bool written = true;
    if (feeder >= 0) {
        close(in);
        in = -1;
        writer = std::thread([&] { written = write_in_pieces(feeder, request.body); });
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    Outcome outcome;
    if (writer.joinable()) {
        writer.join();
        outcome.bodyLeftUnread = !written || reset_by_program(feeder);
        close(feeder);
    }

    outcome.out = read_all(out);
    outcome.err = read_all(err);
    if (WIFEXITED(status))
        outcome.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        outcome.signal = WTERMSIG(status);
    if (in >= 0)
        close(in);
    close(out);
    close(err);
    return outcome;
}

TempDir::TempDir()
{
    const char* tmp = std::getenv("TMPDIR");
    path_ = std::string(tmp != nullptr ? tmp : "/tmp") + "/cgitest.XXXXXX";
    if (mkdtemp(path_.data()) == nullptr)
        throw std::runtime_error("mkdtemp failed");
}

TempDir::~TempDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

bool file_exists(const std::string& path)
{
    struct stat st{};
    return stat(path.c_str(), &st) == 0;
}
