// postern: the mail-form gateway. Takes a URL-encoded form posted to it,
// mails its fields with a report on the visitor and the server through the
// host's sendmail-compatible mailer to the recipient named on its command
// line, and answers with a success page or an error page.
//
// Usage (from a wrapper in the web server's cgi-bin): postern [-s subject] recipient

#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "formdecode/formdecode.h"
#include "htmlescape/html_escape.h"
#include "postern/message.h"

// The mailer's path, fixed when the gateway is built.
extern const char mailerPath[];

namespace {

constexpr int maxFields = 1024;

// Large forms move in large pieces through stdio's buffers for the body and
// the mail; only the cost changes, never the bytes. (glibc takes a buffer's
// size only with the buffer itself.) The pipe keeps its usual size: a mailer
// that ends without reading must meet a full pipe, not a roomy one.
char bodyBuffer[1 << 16];
char mailBuffer[1 << 16];

char hostname[128];

// From the command line, which lives as long as the program.
const char* recipient = "";
const char* subject = "HTML Fill-Out Form Output";

// The heading every error page opens with.
const char errorOpening[] = "<H1>Oh, Drat!  An Error Occurred!</H1>\n\n";

// The error pages' closing line names the webmaster of this host.
[[noreturn]] void errorPage(std::string_view lines)
{
    std::fputs(errorOpening, stdout);
    std::fwrite(lines.data(), 1, lines.size(), stdout);
    std::printf("<P>Please send a note to <I>webmaster@%s</I> ", hostname);
    std::fputs("and complain about this.</P>\n", stdout);
    std::exit(1);
}

// The bad-arguments page: the command line that the server side wrote is wrong.
[[noreturn]] void usage()
{
    std::fputs(errorOpening, stdout);
    std::fputs("<P>The arguments to this program have been impromperly\n", stdout);
    std::fputs("specified on the server side.</P>\n", stdout);
    std::printf("Please send a note to <I>webmaster@%s</I> and complain\n", hostname);
    std::fputs("about this.</P>\n", stdout);
    std::exit(1);
}

// The value of an environment variable for a page: escaped, empty when unset.
std::string shown(const char* value)
{
    return value != nullptr ? html_escape(value) : std::string();
}

bool hasLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// A server, or whatever started it, may hand over a closed standard
// descriptor or an ignored SIGCHLD. A closed one would be taken by the pipe
// to the mailer, whose output would then land in the page; an ignored
// SIGCHLD would make the mailer's status impossible to collect after a
// delivery. Both are set right before anything else runs.
void takeStandardState()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF)
            open("/dev/null", O_RDWR);  // takes the lowest free descriptor: this one
    std::signal(SIGCHLD, SIG_DFL);
}

void fillHostname()
{
    if (gethostname(hostname, sizeof hostname) != 0)
        hostname[0] = '\0';
    hostname[sizeof hostname - 1] = '\0';
}

void writeHeader()
{
    std::fputs("Content-type: text/html\n\n", stdout);
    std::fputs("<TITLE>Form Submission Results</TITLE>\n", stdout);
}

// Takes -s and its subject, and the recipient (a later one replaces an
// earlier one). Both end up in mail headers, so a line break in either, or
// no recipient at all, is refused. A server that follows CGI's search-query
// rule (Apache httpd does) makes the command line from a query string that
// holds no "=": the arguments may then be the visitor's, and are refused.
void parseArguments(int argc, char** argv)
{
    if (const char* query = std::getenv("QUERY_STRING");
        query != nullptr && *query != '\0' && std::strchr(query, '=') == nullptr)
        usage();
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] == '-') {
            if (arg[1] != 's' || i + 1 >= argc)
                usage();
            subject = argv[++i];
        } else {
            recipient = arg;
        }
    }
    if (*recipient == '\0' || hasLineBreak(recipient) || hasLineBreak(subject))
        usage();
}

// Checks the method, the content type and the length; answers the counter.
int checkRequest()
{
    const char* method = std::getenv("REQUEST_METHOD");
    if (method == nullptr || std::strcmp(method, "POST") != 0)
        errorPage("<P>This program was invoked with an invalid\n"
                  "request method (" + shown(method) + ").</P>\n");

    const char* type = std::getenv("CONTENT_TYPE");
    if (type == nullptr || std::strcmp(type, "application/x-www-form-urlencoded") != 0)
        errorPage("<P>This program was invoked with an invalid\n"
                  "content type (" + shown(type) + ").</P>\n");

    const char* length = std::getenv("CONTENT_LENGTH");
    if (length == nullptr)
        errorPage("<P>This program was invoked without a content\n"
                  "length in its environment.</P>\n");
    return content_length(length);
}

// Reads and decodes every field of the body, in body order.
std::vector<FormEntry> collectFields(int cl)
{
    std::setvbuf(stdin, bodyBuffer, _IOFBF, sizeof bodyBuffer);
    std::vector<FormEntry> fields;
    while (cl > 0 && !at_end(stdin)) {
        if (fields.size() == maxFields)
            errorPage("<P>This program has a maximum limit of\n" +
                      std::to_string(maxFields) + " input elements.\n</P>");
        std::string value = fmakeword(stdin, '&', cl, postern_block);
        plustospace(value);
        unescape_url(value);
        std::string name = makeword(value, '=');
        fields.push_back({std::move(name), std::move(value)});
    }
    return fields;
}

// In the mailer's process: the pipe's read end becomes standard input, the
// mailer's standard output goes to the gateway's standard error (the server's
// log), SIGPIPE is as a new program expects it, and the mailer replaces this
// process. Leaves with 255, without flushing the gateway's buffers, when any
// of it fails.
[[noreturn]] void runMailer(int input)
{
    const bool ready = dup2(input, STDIN_FILENO) == STDIN_FILENO &&
                       dup2(STDERR_FILENO, STDOUT_FILENO) == STDOUT_FILENO;
    if (ready) {
        std::signal(SIGPIPE, SIG_DFL);
        execl(mailerPath, "sendmail", "-t", "-oi", static_cast<char*>(nullptr));
    }
    _exit(255);
}

// Starts the mailer on a pipe, writes the message into it and waits for the
// mailer to end. True only when the whole message was handed over and the
// mailer exited with status 0.
bool mailFields(const std::vector<FormEntry>& fields)
{
    // Close-on-exec: the mailer gets the read end as its standard input and
    // nothing else of the gateway's.
    int link[2];
    if (pipe2(link, O_CLOEXEC) != 0)
        errorPage("<P>Could not open pipe to mail program.</P>\n");

    // The page so far must reach the server once, before anything the mailer
    // prints; a mailer that stops reading must not end the gateway.
    std::fflush(stdout);
    std::signal(SIGPIPE, SIG_IGN);

    const pid_t mailer = fork();
    if (mailer < 0) {
        close(link[0]);
        close(link[1]);
        errorPage("<P>Could not open pipe to mail program.</P>\n");
    }
    if (mailer == 0)
        runMailer(link[0]);

    close(link[0]);
    bool handedOver = false;
    if (std::FILE* mail = fdopen(link[1], "w"); mail != nullptr) {
        std::setvbuf(mail, mailBuffer, _IOFBF, sizeof mailBuffer);
        writeMessage(mail, recipient, subject, fields);
        handedOver = std::ferror(mail) == 0;
        if (std::fclose(mail) != 0)
            handedOver = false;
    } else {
        close(link[1]);
    }

    int status = 0;
    pid_t waited;
    do
        waited = waitpid(mailer, &status, 0);
    while (waited < 0 && errno == EINTR);

    return handedOver && waited == mailer && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void successPage()
{
    std::fputs("<H1>Delivery Successful</H1>\n", stdout);
    std::fputs("<P>Your input has been delivered successfully to\n", stdout);
    std::fputs("the maintainer(s) of this form.</P>\n", stdout);
    std::fputs("<P>Thank you for your time.</P>\n", stdout);
}

} // namespace

int main(int argc, char** argv)
{
    takeStandardState();
    fillHostname();
    writeHeader();
    try {
        parseArguments(argc, argv);
        const int cl = checkRequest();
        const auto fields = collectFields(cl);
        if (!mailFields(fields))
            errorPage("<P>An error occurred executing the mailer.</P>\n");
    } catch (const std::bad_alloc&) {
        errorPage("<P>The form was too large for the memory of this server.</P>\n");
    } catch (const std::length_error&) {
        errorPage("<P>The form was too large for the memory of this server.</P>\n");
    }
    successPage();
    return 0;
}
