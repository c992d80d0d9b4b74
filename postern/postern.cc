// postern: the mail-form gateway. Takes a URL-encoded form posted to it,
// mails its fields with a report on the visitor and the server through the
// host's sendmail-compatible mailer to the recipient named on its command
// line, and answers with a success page or an error page. Every error page
// also leaves one line in the web server's error log.
//
// Usage (from a wrapper in the web server's cgi-bin): postern [-s subject] recipient

#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "config.h"
#include "errorlog/errorlog.h"
#include "formdecode/formdecode.h"
#include "htmlescape/html_escape.h"
#include "postern/message.h"

namespace {

constexpr int maxFields = 1024;

// The room a field's buffer reserves at first: typical fields fit in it.
constexpr std::size_t postern_block = 1024;

char hostname[128];

// From the command line, which lives as long as the program.
const char* recipient = "";
const char* subject = "HTML Fill-Out Form Output";

// The content-length counter: what is left of the body to read, from
// CONTENT_LENGTH (0 when it is not set); counted down as the fields are read.
int cl = 0;

// The heading every error page opens with.
const char errorOpening[] = "<H1>Oh, Drat!  An Error Occurred!</H1>\n\n";

// The first lines of every page but the thank-you redirect. Written at start,
// unless the site sends visitors to a page of its own: then the answer's
// first line waits until the outcome is known.
void writeHeader()
{
    std::fputs("Content-type: text/html\n\n", stdout);
    std::fputs("<TITLE>Form Submission Results</TITLE>\n", stdout);
}

bool headerHeld()
{
    return thanksUrl[0] != '\0';
}

// Reads the rest of the body and drops it, before an error page: under
// Apache's mod_cgid the body comes over a socket, and a program that ends
// with part of it unread loses its page to a reset.
void dropRestOfBody()
{
    discard_rest(stdin, cl);
}

// Whom the error pages ask the visitor to write to: the site's webmaster
// when the site names one, else the webmaster of this host.
std::string webmasterAddress()
{
    if (webmaster[0] != '\0')
        return html_escape(webmaster);
    return std::string("webmaster@") + hostname;
}

// What every error page does first: `cause` to the server's error log, the
// rest of the body read, the header if it was held, and the opening.
void openErrorPage(std::string_view cause)
{
    log_error("postern", cause);
    dropRestOfBody();
    if (headerHeld())
        writeHeader();
    std::fputs(errorOpening, stdout);
}

// An error page: `lines` between the opening and the closing line, which
// names the webmaster; `cause` goes to the server's error log.
[[noreturn]] void errorPage(std::string_view lines, std::string_view cause)
{
    openErrorPage(cause);
    std::fwrite(lines.data(), 1, lines.size(), stdout);
    std::printf("<P>Please send a note to <I>%s</I> ", webmasterAddress().c_str());
    std::fputs("and complain about this.</P>\n", stdout);
    std::exit(1);
}

// The bad-arguments page: the command line that the server side wrote is
// wrong, or cannot be trusted.
[[noreturn]] void usage(const std::string& cause)
{
    openErrorPage("bad arguments: " + cause);
    std::fputs("<P>The arguments to this program have been impromperly\n", stdout);
    std::fputs("specified on the server side.</P>\n", stdout);
    std::printf("Please send a note to <I>%s</I> and complain\n", webmasterAddress().c_str());
    std::fputs("about this.</P>\n", stdout);
    std::exit(1);
}

// The value of an environment variable for a page: escaped, empty when unset.
std::string escapedForPage(const char* value)
{
    return value != nullptr ? html_escape(value) : std::string();
}

// The log's words for a request variable that is not `wanted`.
std::string notWanted(const char* what, const char* value, const char* wanted)
{
    if (value == nullptr)
        return std::string(what) + " not set";
    return std::string(what) + " " + log_quoted(value) + " is not " + wanted;
}

bool hasLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

// A server, or whatever started it, may hand over a closed standard
// descriptor: it would be taken by the pipe to the mailer, whose output would
// then land in the page. Each is opened on /dev/null before anything else.
void openClosedStandardDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF)
            open("/dev/null", O_RDWR);  // takes the lowest free descriptor: this one
}

void fillHostname()
{
    if (gethostname(hostname, sizeof hostname) != 0)
        hostname[0] = '\0';
    hostname[sizeof hostname - 1] = '\0';
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
        usage("query string " + log_quoted(query) +
              " holds no \"=\": the server may have made the command line from it");
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] == '-') {
            if (arg[1] != 's')
                usage("option " + log_quoted(arg) + " is not -s");
            if (i + 1 >= argc)
                usage("-s without a subject");
            subject = argv[++i];
        } else {
            recipient = arg;
        }
    }
    if (*recipient == '\0')
        usage("no recipient");
    if (hasLineBreak(recipient))
        usage("line break in the recipient " + log_quoted(recipient));
    if (hasLineBreak(subject))
        usage("line break in the subject " + log_quoted(subject));
    if (const std::string tooLong = headerTooLong(recipient, subject); !tooLong.empty())
        usage(tooLong);
}

// Checks the method, the content type and the length.
void checkRequest()
{
    const char* method = std::getenv("REQUEST_METHOD");
    if (method == nullptr || std::strcmp(method, "POST") != 0)
        errorPage("<P>This program was invoked with an invalid\n"
                  "request method (" + escapedForPage(method) + ").</P>\n",
                  notWanted("request method", method, "POST"));

    const char* type = std::getenv("CONTENT_TYPE");
    if (type == nullptr || std::strcmp(type, "application/x-www-form-urlencoded") != 0)
        errorPage("<P>This program was invoked with an invalid\n"
                  "content type (" + escapedForPage(type) + ").</P>\n",
                  notWanted("content type", type, "application/x-www-form-urlencoded"));

    const char* length = std::getenv("CONTENT_LENGTH");
    if (length == nullptr)
        errorPage("<P>This program was invoked without a content\n"
                  "length in its environment.</P>\n",
                  "content length not set");
}

// Reads and decodes every field of the body, in body order.
std::vector<FormEntry> collectFields()
{
    std::vector<FormEntry> fields;
    while (cl > 0 && !at_end(stdin)) {
        if (fields.size() == maxFields)
            errorPage("<P>This program has a maximum limit of\n" +
                      std::to_string(maxFields) + " input elements.\n</P>",
                      "more than " + std::to_string(maxFields) + " fields in the form");
        std::string value = fmakeword(stdin, '&', cl, postern_block);
        plustospace(value);
        unescape_url(value);
        std::string name = makeword(value, '=');
        fields.push_back({std::move(name), std::move(value)});
    }
    return fields;
}

// Whether the form fills the trap field the site's page hides from people:
// then a robot sent it.
bool trapFilled(const std::vector<FormEntry>& fields)
{
    return trapField[0] != '\0' && std::any_of(fields.begin(), fields.end(), [](const FormEntry& field) {
               return field.name == trapField && !field.value.empty();
           });
}

void dropTrapField(std::vector<FormEntry>& fields)
{
    if (trapField[0] != '\0')
        std::erase_if(fields, [](const FormEntry& field) { return field.name == trapField; });
}

void logTrapFilled()
{
    const char* address = std::getenv("REMOTE_ADDR");
    log_error("postern", "trap field filled; not mailed (remote address " +
                             (address != nullptr ? log_quoted(address) : std::string("unknown")) + ")");
}

// What the mailer's process tells the gateway, through a close-on-exec pipe,
// when it cannot become the mailer: which step failed, and the error.
struct MailerStart {
    int failedStep;  // 0: it became the mailer (the pipe closed unread)
    int error;
};
constexpr int redirectFailed = 1;
constexpr int execFailed = 2;

// Closes every descriptor above standard error but `keep`: whatever the web
// server left open to the gateway is none of the mailer's business.
void closeInherited(int keep)
{
    const auto first = static_cast<unsigned>(STDERR_FILENO + 1);
    const auto kept = static_cast<unsigned>(keep);
    if ((kept <= first || close_range(first, kept - 1, 0) == 0) && close_range(kept + 1, ~0U, 0) == 0)
        return;
    // A kernel without close_range: one by one, up to the descriptor limit.
    const long limit = sysconf(_SC_OPEN_MAX);
    for (int fd = STDERR_FILENO + 1; fd < (limit > 0 ? limit : 1024); ++fd)
        if (fd != keep)
            close(fd);
}

// In the mailer's process: the pipe's read end becomes standard input, the
// mailer's standard output goes to the gateway's standard error (the server's
// log), no other descriptor stays open, SIGPIPE is as a new program expects
// it, and the mailer replaces this process. When any of it fails, the
// process reports the step and its error on `report` (closed by the exec)
// and leaves with 255, without flushing the gateway's buffers.
[[noreturn]] void runMailer(int input, int report)
{
    MailerStart start{redirectFailed, 0};
    if (dup2(input, STDIN_FILENO) == STDIN_FILENO && dup2(STDERR_FILENO, STDOUT_FILENO) == STDOUT_FILENO) {
        closeInherited(report);
        std::signal(SIGPIPE, SIG_DFL);
        execl(mailerPath, "sendmail", "-t", "-oi", static_cast<char*>(nullptr));
        start.failedStep = execFailed;
    }
    start.error = errno;
    if (write(report, &start, sizeof start) < 0) {
        // Nothing is left to tell it to: the exit status still says it failed.
    }
    _exit(255);
}

// How the mailer ended, for the log; empty when it read the whole message
// and exited 0.
std::string mailerFailure(const MailerStart& start, int waitError, int status, int writeError)
{
    const std::string mailer = mailerPath;
    if (start.failedStep == execFailed)
        return "cannot run the mailer " + mailer + ": " + std::strerror(start.error);
    if (start.failedStep == redirectFailed)
        return "cannot give the mailer its input and output: " + std::string(std::strerror(start.error));
    if (waitError != 0)
        return "cannot wait for the mailer " + mailer + ": " + std::strerror(waitError);
    if (WIFSIGNALED(status))
        return "mailer " + mailer + " ended by signal " + std::to_string(WTERMSIG(status)) + " (" +
               strsignal(WTERMSIG(status)) + ")";
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return "mailer " + mailer + " exited with status " + std::to_string(WEXITSTATUS(status));
    if (writeError != 0)
        return "message not written whole to the mailer " + mailer + ": " + std::strerror(writeError);
    return {};
}

// A pipe between the gateway and the mailer's process, close-on-exec: the
// mailer gets one read end as its standard input and nothing else of the
// gateway's.
void openPipe(int (&ends)[2])
{
    if (pipe2(ends, O_CLOEXEC) != 0)
        errorPage("<P>Could not open pipe to mail program.</P>\n",
                  std::string("cannot make a pipe to the mailer: ") + std::strerror(errno));
}

// Writes all of `bytes` to `fd`; answers 0, or the error that stopped it.
int writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t wrote = write(fd, bytes.data(), bytes.size());
        if (wrote < 0 && errno != EINTR)
            return errno;
        if (wrote > 0)
            bytes.remove_prefix(static_cast<std::size_t>(wrote));
    }
    return 0;
}

// Makes the message, starts the mailer on a pipe, writes the message into it
// and waits for the mailer to end. Answers why it failed, or empty when the
// whole message was handed over and the mailer exited with status 0.
std::string mailFields(const std::vector<FormEntry>& fields)
{
    const std::string message = composeMessage(recipient, subject, fields);
    int link[2];
    int report[2];
    openPipe(link);
    openPipe(report);

    // The page so far must reach the server once, before anything the mailer
    // prints; a mailer that stops reading must not end the gateway.
    std::fflush(stdout);
    std::signal(SIGPIPE, SIG_IGN);

    const pid_t mailer = fork();
    if (mailer < 0)
        errorPage("<P>Could not open pipe to mail program.</P>\n",
                  std::string("cannot start a process for the mailer: ") + std::strerror(errno));
    if (mailer == 0)
        runMailer(link[0], report[1]);
    close(link[0]);
    close(report[1]);
    const int writeError = writeAll(link[1], message);
    close(link[1]);

    // Closed unread when the mailer started; a report when it could not.
    MailerStart start{0, 0};
    if (read(report[0], &start, sizeof start) != static_cast<ssize_t>(sizeof start))
        start = {0, 0};
    close(report[0]);

    int status = 0;
    pid_t waited;
    do
        waited = waitpid(mailer, &status, 0);
    while (waited < 0 && errno == EINTR);
    const int waitError = waited < 0 ? errno : 0;

    return mailerFailure(start, waitError, status, writeError);
}

// After a delivery: the success page, or, when the site has a thank-you page
// of its own, a 303 to it, which the browser follows with a GET, so that
// reloading that page never sends the form again; the one-line page is for
// clients that do not follow.
void successPage()
{
    if (headerHeld()) {
        std::printf("Status: 303 See Other\nLocation: %s\nContent-type: text/html\n\n", thanksUrl);
        std::printf("<P>Your input has been delivered: <A HREF=\"%s\">continue</A>.</P>\n",
                    html_escape(thanksUrl).c_str());
        return;
    }
    std::fputs("<H1>Delivery Successful</H1>\n", stdout);
    std::fputs("<P>Your input has been delivered successfully to\n", stdout);
    std::fputs("the maintainer(s) of this form.</P>\n", stdout);
    std::fputs("<P>Thank you for your time.</P>\n", stdout);
}

} // namespace

int main(int argc, char** argv)
{
    // An ignored SIGCHLD, handed over by whatever started the gateway, would
    // make the mailer's status impossible to collect.
    std::signal(SIGCHLD, SIG_DFL);
    openClosedStandardDescriptors();
    fillHostname();
    if (!headerHeld())
        writeHeader();
    if (const char* length = std::getenv("CONTENT_LENGTH"); length != nullptr)
        cl = content_length(length);
    try {
        parseArguments(argc, argv);
        checkRequest();
        auto fields = collectFields();
        // A robot's form gets the success page, so that it learns nothing,
        // and no mail; a person's leaves the empty trap field out of it.
        if (trapFilled(fields)) {
            logTrapFilled();
        } else {
            dropTrapField(fields);
            if (const std::string failure = mailFields(fields); !failure.empty())
                errorPage("<P>An error occurred executing the mailer.</P>\n", failure);
        }
    } catch (const std::bad_alloc&) {
        errorPage("<P>The form was too large for the memory of this server.</P>\n",
                  "out of memory while reading the form");
    }
    successPage();
    return 0;
}
