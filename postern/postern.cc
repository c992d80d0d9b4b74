// postern: the mail-form gateway. Takes a URL-encoded form posted to it,
// mails its fields with a report on the visitor and the server through the
// host's sendmail-compatible mailer to the recipient named on its command
// line, and answers with a success page or an error page. Every error page
// also leaves one line in the web server's error log.
//
// Usage (from a wrapper in the web server's cgi-bin):
//   postern [--option=value ...] [-s subject] recipient
// The options set the form's own settings over the site's compiled-in
// defaults; see parseArguments.

#include <fcntl.h>
#include <poll.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "config.h"
#include "errorlog/errorlog.h"
#include "formdecode/formdecode.h"
#include "formdecode/multipart.h"
#include "htmlescape/html_escape.h"
#include "postern/answer.h"
#include "postern/attachments.h"
#include "postern/defaults.h"
#include "postern/message.h"

namespace {

constexpr int maxFields = 1024;

// stdio's buffer for the body: a read for each 64 KiB of it, not for each
// 4 KiB page (glibc sizes its own by the page and takes no other size
// without a buffer).
char bodyBuffer[1 << 16];

// The room a field's buffer reserves at first: typical fields fit in it.
constexpr std::size_t postern_block = 1024;

char hostname[128];

// The content-length counter: what is left of the body to read, from
// CONTENT_LENGTH (0 when it is not set); counted down as the fields are read.
int cl = 0;

// Whether the answer's first lines have gone out: at start, unless the form
// sends visitors to a page of its own, or answers in JSON; then they wait
// until the outcome is known.
bool headerWritten = false;

// Whether this request gets JSON (the form answers scripts in JSON, and this
// one asked for it), and the other origin whose scripts may read the answer
// (the form allows it, and the request came from it), or empty.
bool answerJson = false;
std::string allowedOrigin;

// An answer's status, for a script that asked for JSON; a page is always
// 200, as it has always been.
struct Status {
    int code;
    const char* reason;
};
constexpr Status ok{200, "OK"};
constexpr Status badRequest{400, "Bad Request"};
constexpr Status methodNotAllowed{405, "Method Not Allowed"};
constexpr Status lengthRequired{411, "Length Required"};
constexpr Status contentTooLarge{413, "Content Too Large"};
constexpr Status unsupportedType{415, "Unsupported Media Type"};
constexpr Status unprocessable{422, "Unprocessable Content"};
constexpr Status serverError{500, "Internal Server Error"};
constexpr Status badGateway{502, "Bad Gateway"};
constexpr Status gatewayTimeout{504, "Gateway Timeout"};

// The header lines that let a script on the allowed origin read the answer.
void allowOriginLines()
{
    if (!allowedOrigin.empty())
        std::printf("Access-Control-Allow-Origin: %s\nVary: Origin\n", allowedOrigin.c_str());
}

// A JSON answer with `status` and `body` (an object), the whole answer.
void jsonAnswer(Status status, const std::string& body)
{
    std::printf("Status: %d %s\n", status.code, status.reason);
    if (status.code == methodNotAllowed.code)
        std::fputs("Allow: POST\n", stdout);
    allowOriginLines();
    std::fputs("Content-type: application/json\n\n", stdout);
    std::fputs(body.c_str(), stdout);
    std::fputs("\n", stdout);
    headerWritten = true;
}

// What the gateway is doing, for the log when memory runs out.
const char* phase = "reading the form";

// The heading every error page opens with.
const char errorOpening[] = "<H1>Oh, Drat!  An Error Occurred!</H1>\n\n";

// The first lines of every page but the thank-you redirect.
void writeHeader()
{
    allowOriginLines();
    std::fputs("Content-type: text/html\n\n", stdout);
    std::fputs("<TITLE>Form Submission Results</TITLE>\n", stdout);
    headerWritten = true;
}

// Reads the rest of the body and drops it, before an error page: under
// Apache's mod_cgid the body comes over a socket, and a program that ends
// with part of it unread loses its page to a reset.
void dropRestOfBody()
{
    discard_rest(stdin, cl);
}

// Whom the error pages ask the visitor to write to: the form's webmaster
// when it names one, else the webmaster of this host.
std::string webmasterAddress(const Settings& form)
{
    if (!form.webmaster.empty())
        return html_escape(form.webmaster);
    return std::string("webmaster@") + hostname;
}

// What every error page does first: `cause` to the server's error log, the
// rest of the body read, and, to a script that asked for JSON, the answer
// with `status` and the page's `sentence` as plain text, which ends the
// gateway; else the header if it was held, and the opening.
void openErrorPage(std::string_view cause, Status status, std::string_view sentence)
{
    log_error("postern", cause);
    dropRestOfBody();
    if (answerJson) {
        jsonAnswer(status, "{\"ok\":false,\"error\":" + json_string(plain_text(sentence)) + "}");
        std::exit(1);
    }
    if (!headerWritten)
        writeHeader();
    std::fputs(errorOpening, stdout);
}

// An error page: `lines` between the opening and the closing line, which
// names the webmaster; `cause` goes to the server's error log.
[[noreturn]] void errorPage(const Settings& form, Status status, std::string_view lines, std::string_view cause)
{
    openErrorPage(cause, status, lines);
    std::fwrite(lines.data(), 1, lines.size(), stdout);
    std::printf("<P>Please send a note to <I>%s</I> ", webmasterAddress(form).c_str());
    std::fputs("and complain about this.</P>\n", stdout);
    std::exit(1);
}

// The bad-arguments page: the command line that the server side wrote is
// wrong, or cannot be trusted.
[[noreturn]] void usage(const Settings& form, const std::string& cause)
{
    const char sentence[] = "<P>The arguments to this program have been impromperly\n"
                            "specified on the server side.</P>\n";
    openErrorPage("bad arguments: " + cause, serverError, sentence);
    std::fputs(sentence, stdout);
    std::printf("Please send a note to <I>%s</I> and complain\n", webmasterAddress(form).c_str());
    std::fputs("about this.</P>\n", stdout);
    std::exit(1);
}

// The value of an environment variable, empty when it is not set.
std::string_view envOr(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
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

// A server, or whatever started it, may hand over a closed standard
// descriptor: it would be taken by the pipe to the mailer, whose output would
// then land in the page. Each is opened on /dev/null before anything else;
// when that cannot be done the gateway stops there, having read nothing.
void openClosedStandardDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF &&
            open("/dev/null", O_RDWR) != fd) {  // takes the lowest free descriptor: this one
            const std::string cause = std::string("cannot open /dev/null on the closed descriptor ") +
                                      std::to_string(fd) + ": " + std::strerror(errno);
            log_error("postern", cause);  // lost when it is standard error that is closed
            _exit(1);
        }
}

void fillHostname()
{
    if (gethostname(hostname, sizeof hostname) != 0)
        hostname[0] = '\0';
    hostname[sizeof hostname - 1] = '\0';
}

// The options a form's wrapper may give, each overriding the site's
// compiled-in default for that form only: the check of a value, how the form
// takes it, and the site's default, which the same check has passed when
// postern was compiled.
struct Option {
    std::string_view name;
    const char* (*check)(std::string_view value);
    void (*take)(Settings& form, std::string_view value);
    const char* siteDefault;
    bool isSwitch = false;  // given with no value: --json
};
constexpr Option options[] = {
    {"--reply-to-field", setting::plainText, [](Settings& f, std::string_view v) { f.replyToField = v; }, replyToField},
    {"--thanks-url", setting::thanksUrl, [](Settings& f, std::string_view v) { f.thanksUrl = v; }, thanksUrl},
    {"--trap-field", setting::plainText, [](Settings& f, std::string_view v) { f.trapField = v; }, trapField},
    {"--mail-charset", setting::mailCharset, [](Settings& f, std::string_view v) { f.mailCharset = v; }, mailCharset},
    {"--webmaster", setting::plainText, [](Settings& f, std::string_view v) { f.webmaster = v; }, webmaster},
    {"--envelope-sender", setting::envelopeSender, [](Settings& f, std::string_view v) { f.envelopeSender = v; },
     envelopeSender},
    {"--mailer-timeout", setting::mailerTimeout,
     [](Settings& f, std::string_view v) { f.mailerTimeout = setting::seconds(v); }, mailerTimeout},
    {"--attachments", setting::attachments,
     [](Settings& f, std::string_view v) { f.attachmentKinds = setting::fileKindBits(v); }, attachments},
    {"--attachments-max", setting::attachmentsMax,
     [](Settings& f, std::string_view v) { f.attachmentsMax = setting::bytes(v); }, attachmentsMax},
    {"--json", setting::onOff, [](Settings& f, std::string_view v) { f.json = setting::isOn(v); }, answersJson, true},
    {"--allow-origin", setting::origin, [](Settings& f, std::string_view v) { f.allowOrigin = v; }, allowOrigin},
};

// The site's defaults.
Settings siteDefaults()
{
    Settings form;
    for (const auto& option : options)
        if (*option.siteDefault != '\0')
            option.take(form, option.siteDefault);
    return form;
}

// Takes one --option=value into `form`; answers why it cannot, or empty.
std::string takeOption(Settings& form, std::string_view arg)
{
    const std::size_t equals = arg.find('=');
    const std::string_view name = arg.substr(0, equals);
    const Option* option = nullptr;
    for (const auto& known : options)
        if (known.name == name)
            option = &known;
    if (option == nullptr)
        return "option " + log_quoted(name) + " is not one of postern's";
    if (option->isSwitch) {
        if (equals != std::string_view::npos)
            return std::string(name) + " takes no value";
        option->take(form, "on");
        return {};
    }
    if (equals == std::string_view::npos)
        return std::string(name) + " without \"=\" and a value";
    const std::string_view value = arg.substr(equals + 1);
    if (value.empty())
        return std::string(name) + " with an empty value";
    if (const char* fault = option->check(value); fault != nullptr)
        return std::string(name) + " " + log_quoted(value) + " " + fault;
    option->take(form, value);
    return {};
}

// Takes the options, -s and its subject, and the recipient (a later one
// replaces an earlier one) over the site's defaults. The recipient and the
// subject end up in mail headers, so a line break in either, or no recipient
// at all, is refused. A server that follows CGI's search-query rule (Apache
// httpd does) makes the command line from a query string that holds no "=":
// the arguments may then be the visitor's, and are refused. Answers why the
// command line cannot be used, or empty; the form's settings go into `form`.
std::string parseArguments(int argc, char** argv, Settings& form)
{
    form = siteDefaults();
    std::string fault;
    const auto refuse = [&](std::string why) {
        if (fault.empty())
            fault = std::move(why);
    };
    if (const char* query = std::getenv("QUERY_STRING");
        query != nullptr && *query != '\0' && std::strchr(query, '=') == nullptr)
        refuse("query string " + log_quoted(query) +
               " holds no \"=\": the server may have made the command line from it");
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg.substr(0, 2) == "--") {
            refuse(takeOption(form, arg));
        } else if (!arg.empty() && arg[0] == '-') {
            if (arg.size() < 2 || arg[1] != 's')
                refuse("option " + log_quoted(arg) + " is not -s");
            else if (i + 1 >= argc)
                refuse("-s without a subject");
            else
                form.subject = argv[++i];
        } else {
            form.recipient = arg;
        }
    }
    if (form.recipient.empty())
        refuse("no recipient");
    if (setting::hasLineBreak(form.recipient))
        refuse("line break in the recipient " + log_quoted(form.recipient));
    if (setting::hasLineBreak(form.subject))
        refuse("line break in the subject " + log_quoted(form.subject));
    refuse(headerTooLong(form));
    return fault;
}

// Checks the method, the content type and the length. Answers the boundary
// of a multipart/form-data body, which a form that takes files may post, or
// empty for a URL-encoded one.
std::string checkRequest(const Settings& form)
{
    const char* method = std::getenv("REQUEST_METHOD");
    if (method == nullptr || std::strcmp(method, "POST") != 0)
        errorPage(form, methodNotAllowed,
                  "<P>This program was invoked with an invalid\n"
                  "request method (" + escapedForPage(method) + ").</P>\n",
                  notWanted("request method", method, "POST"));

    const char* type = std::getenv("CONTENT_TYPE");
    std::string boundary;
    if (type == nullptr || std::strcmp(type, "application/x-www-form-urlencoded") != 0) {
        const bool files = form.attachmentKinds != 0;
        if (files && type != nullptr)
            boundary = multipart_boundary(type).value_or("");
        if (boundary.empty())
            errorPage(form, unsupportedType,
                      "<P>This program was invoked with an invalid\n"
                      "content type (" + escapedForPage(type) + ").</P>\n",
                      notWanted("content type", type,
                                files ? "application/x-www-form-urlencoded or multipart/form-data with a boundary"
                                      : "application/x-www-form-urlencoded"));
    }

    const char* length = std::getenv("CONTENT_LENGTH");
    if (length == nullptr)
        errorPage(form, lengthRequired,
                  "<P>This program was invoked without a content\n"
                  "length in its environment.</P>\n",
                  "content length not set");
    return boundary;
}

[[noreturn]] void tooManyFields(const Settings& form)
{
    errorPage(form, contentTooLarge,
              "<P>This program has a maximum limit of\n" + std::to_string(maxFields) + " input elements.\n</P>",
              "more than " + std::to_string(maxFields) + " fields in the form");
}

// Reads and decodes every field of the body, in body order; `bytes` counts
// the body's bytes read.
std::vector<FormEntry> collectFields(const Settings& form, std::uint64_t& bytes)
{
    const int length = cl;
    std::vector<FormEntry> fields;
    while (cl > 0 && !at_end(stdin)) {
        if (fields.size() == maxFields)
            tooManyFields(form);
        std::string value = fmakeword(stdin, '&', cl, postern_block);
        plustospace(value);
        unescape_url(value);
        std::string name = makeword(value, '=');
        fields.push_back({std::move(name), std::move(value)});
    }
    // The counter also went down for the read that met the end.
    bytes = length > 0 ? static_cast<std::uint64_t>(static_cast<long long>(length) - std::max(cl, 0) -
                                                    (at_end(stdin) ? 1 : 0))
                       : 0;
    return fields;
}

// A body read whole, in room that is not cleared first.
struct WholeBody {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;

    std::string_view text() const { return {bytes.get(), size}; }
};

// The room a multipart body gets at first: a form and its files fit in it,
// read straight in; a larger CONTENT_LENGTH is believed only as the bytes
// arrive.
constexpr std::size_t firstRoom = std::size_t{8} << 20;

// A multipart body whole: CONTENT_LENGTH's bytes, or as many as come.
WholeBody readWholeBody()
{
    WholeBody body;
    std::size_t room = std::min(static_cast<std::size_t>(std::max(cl, 0)), firstRoom);
    body.bytes.reset(new char[room]);
    while (cl > 0 && !at_end(stdin)) {
        if (body.size == room) {
            room *= 2;
            std::unique_ptr<char[]> larger(new char[room]);
            std::memcpy(larger.get(), body.bytes.get(), body.size);
            body.bytes = std::move(larger);
        }
        const std::size_t want = std::min(static_cast<std::size_t>(cl), room - body.size);
        const std::size_t got = std::fread(body.bytes.get() + body.size, 1, want, stdin);
        body.size += got;
        cl -= static_cast<int>(got);
    }
    return body;
}

// What the form takes, for the pages that refuse a file.
std::string filesTaken(const Settings& form)
{
    std::string kinds;
    for (std::size_t i = 0; i < std::size(fileKinds); ++i)
        if ((form.attachmentKinds & kindBit(i)) != 0)
            kinds += (kinds.empty() ? "." : ", .") + std::string(fileKinds[i].extension);
    return "<P>This form takes files ending in " + kinds + ", of at most " + std::to_string(form.attachmentsMax) +
           " bytes together.</P>\n";
}

// The page that refuses the file `name`: `what` it is, for the visitor, and
// `cause`, for the log.
[[noreturn]] void fileRefused(const Settings& form, Status status, std::string_view name, const std::string& what,
                              const std::string& cause)
{
    errorPage(form, status, "<P>The file <I>" + html_escape(name) + "</I> " + what + ".</P>\n" + filesTaken(form),
              "file " + log_quoted(name) + " " + cause);
}

// The fields and files of a multipart body, in body order: each file checked
// (its name, its kind, its first bytes, the files' bytes together) and
// shown among the fields as "NAME (N bytes, attached)".
void collectParts(const Settings& form, std::string_view body, const std::string& boundary,
                  std::vector<FormEntry>& fields, std::vector<Attachment>& files)
{
    std::vector<FormPart> parts;
    const MultipartFault fault = read_multipart(body, boundary, maxFields, parts);
    if (fault == MultipartFault::tooManyParts)
        tooManyFields(form);
    if (fault != MultipartFault::none)
        errorPage(form, badRequest, "<P>The form did not arrive whole.</P>\n",
                  std::string("the form did not arrive whole: ") + multipart_fault_text(fault));
    std::uint64_t total = 0;
    for (auto& part : parts) {
        if (!part.isFile) {
            fields.push_back({std::move(part.name), std::string(part.value)});
            continue;
        }
        const std::string_view name = last_component(part.filename);
        if (name.size() > longestFileName)
            fileRefused(form, unprocessable, name,
                        "has a name longer than " + std::to_string(longestFileName) + " bytes",
                        "has a name longer than " + std::to_string(longestFileName) + " bytes");
        const FileKind* kind = kind_of_name(name, form.attachmentKinds);
        if (kind == nullptr)
            fileRefused(form, unprocessable, name, "is not of a kind this form takes",
                        "is not of a kind the form takes");
        if (!begins_as(*kind, part.value))
            fileRefused(form, unprocessable, name, "is not what its name says",
                        "does not begin as a ." + std::string(kind->extension) + " file does");
        total += part.value.size();
        if (total > form.attachmentsMax)
            fileRefused(form, contentTooLarge, name, "would take the files past this form's limit",
                        "takes the files to " + std::to_string(total) + " bytes, past the form's limit of " +
                            std::to_string(form.attachmentsMax));
        fields.push_back({std::move(part.name),
                          std::string(name) + " (" + std::to_string(part.value.size()) + " bytes, attached)"});
        files.push_back({std::string(name), kind, part.value});
    }
}

// Whether the form fills the trap field its page hides from people: then a
// robot sent it.
bool trapFilled(const Settings& form, const std::vector<FormEntry>& fields)
{
    return !form.trapField.empty() && std::any_of(fields.begin(), fields.end(), [&](const FormEntry& field) {
               return field.name == form.trapField && !field.value.empty();
           });
}

void dropTrapField(const Settings& form, std::vector<FormEntry>& fields)
{
    if (!form.trapField.empty())
        std::erase_if(fields, [&](const FormEntry& field) { return field.name == form.trapField; });
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
constexpr int signalsFailed = 3;

// Closes every descriptor above standard error but `keep`: whatever the web
// server left open to the gateway is none of the mailer's business. Answers
// false when a descriptor could not be closed.
bool closeInherited(int keep)
{
    const auto first = static_cast<unsigned>(STDERR_FILENO + 1);
    const auto kept = static_cast<unsigned>(keep);
    if ((kept <= first || close_range(first, kept - 1, 0) == 0) && close_range(kept + 1, ~0U, 0) == 0)
        return true;
    if (errno != ENOSYS)
        return false;
    // A kernel without close_range: one by one, up to the descriptor limit.
    const long limit = sysconf(_SC_OPEN_MAX);
    for (int fd = STDERR_FILENO + 1; fd < (limit > 0 ? limit : 1024); ++fd)
        if (fd != keep)
            close(fd);
    return true;
}

// The mailer's whole environment: nothing of the request's (a CGI
// environment carries the visitor's headers), only where its own programs
// are.
char mailerPathVariable[] = "PATH=/usr/sbin:/usr/bin:/sbin:/bin";
char* mailerEnvironment[] = {mailerPathVariable, nullptr};

// In the mailer's process: the pipe's read end becomes standard input, the
// mailer's standard output goes to the gateway's standard error (the server's
// log), no other descriptor stays open, the signals are as a new program
// expects them, and the mailer replaces this process with the environment
// the gateway made. When any of it fails, the process reports the step and
// its error on `report` (closed by the exec) and leaves with 255, without
// flushing the gateway's buffers.
[[noreturn]] void runMailer(int input, int report, char* const* argv)
{
    MailerStart start{redirectFailed, 0};
    if (dup2(input, STDIN_FILENO) == STDIN_FILENO && dup2(STDERR_FILENO, STDOUT_FILENO) == STDOUT_FILENO &&
        closeInherited(report)) {
        start.failedStep = signalsFailed;
        sigset_t none;
        sigemptyset(&none);
        if (std::signal(SIGPIPE, SIG_DFL) != SIG_ERR && sigprocmask(SIG_SETMASK, &none, nullptr) == 0) {
            execve(mailerPath, argv, mailerEnvironment);
            start.failedStep = execFailed;
        }
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
    if (start.failedStep == signalsFailed)
        return "cannot reset the mailer's signals: " + std::string(std::strerror(start.error));
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
void openPipe(const Settings& form, int (&ends)[2])
{
    if (pipe2(ends, O_CLOEXEC) != 0)
        errorPage(form, serverError, "<P>Could not open pipe to mail program.</P>\n",
                  std::string("cannot make a pipe to the mailer: ") + std::strerror(errno));
}

// The mailer's deadline, on the monotonic clock.
struct Deadline {
    timespec at;

    static Deadline in(unsigned seconds)
    {
        Deadline d{};
        clock_gettime(CLOCK_MONOTONIC, &d.at);
        d.at.tv_sec += static_cast<time_t>(seconds);
        return d;
    }

    // What is left of it, never below 0.
    timespec left() const
    {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        timespec rest{at.tv_sec - now.tv_sec, at.tv_nsec - now.tv_nsec};
        if (rest.tv_nsec < 0) {
            rest.tv_nsec += 1000000000L;
            --rest.tv_sec;
        }
        return rest.tv_sec < 0 ? timespec{0, 0} : rest;
    }

    bool passed() const
    {
        const timespec rest = left();
        return rest.tv_sec == 0 && rest.tv_nsec == 0;
    }
};

// Writes all of `bytes` to `fd`, which does not block, by the deadline;
// answers 0, the error that stopped it, or ETIMEDOUT.
int writeAll(int fd, std::string_view bytes, const Deadline& deadline)
{
    while (!bytes.empty()) {
        const ssize_t wrote = write(fd, bytes.data(), bytes.size());
        if (wrote > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(wrote));
            continue;
        }
        if (wrote < 0 && errno != EINTR && errno != EAGAIN)
            return errno;
        if (wrote < 0 && errno == EAGAIN) {
            const timespec rest = deadline.left();
            if (rest.tv_sec == 0 && rest.tv_nsec == 0)
                return ETIMEDOUT;
            pollfd ready{fd, POLLOUT, 0};
            const long ms = static_cast<long>(rest.tv_sec) * 1000 + rest.tv_nsec / 1000000 + 1;
            poll(&ready, 1, static_cast<int>(std::min(ms, 1000000L)));
        }
    }
    return 0;
}

// Waits for the mailer until the deadline; answers true when it ended, with
// its status. SIGCHLD is blocked, so that its arrival cannot slip between a
// look at the mailer and the wait for the signal.
bool waitUntil(pid_t mailer, const Deadline& deadline, int& status, int& waitError)
{
    sigset_t child;
    sigemptyset(&child);
    sigaddset(&child, SIGCHLD);
    for (;;) {
        const pid_t waited = waitpid(mailer, &status, WNOHANG);
        if (waited == mailer)
            return true;
        if (waited < 0 && errno != EINTR) {
            waitError = errno;
            return true;
        }
        if (waited == 0) {
            if (deadline.passed())
                return false;
            const timespec rest = deadline.left();
            sigtimedwait(&child, nullptr, &rest);
        }
    }
}

// How long a mailer stopped at its deadline has after SIGTERM, before SIGKILL.
constexpr unsigned termGrace = 2;

// Why the mailer failed (empty when the whole message was handed over and the
// mailer exited with status 0), and whether it was stopped at its deadline.
struct MailerOutcome {
    std::string failure;
    bool stopped = false;
};

// Makes the message, starts the mailer on a pipe, writes the message into it
// and waits for the mailer to end, no longer than the form's deadline.
MailerOutcome mailFields(const Settings& form, const std::vector<FormEntry>& fields,
                       const std::vector<Attachment>& files, std::uint64_t formBytes)
{
    phase = "composing the mail";
    Mail mail;
    std::uint64_t size = 0;
    if (!composeMessage(form, fields, mailBound(formBytes), mail, size, files))
        errorPage(form, contentTooLarge, "<P>The form was too large for the memory of this server.</P>\n",
                  "the mail would be " + std::to_string(size) + " bytes for a form of " + std::to_string(formBytes) +
                      " bytes; not mailed");
    const std::string sender(form.envelopeSender);
    std::vector<char*> argv = {const_cast<char*>("sendmail"), const_cast<char*>("-t"), const_cast<char*>("-oi")};
    if (!sender.empty()) {
        argv.push_back(const_cast<char*>("-f"));
        argv.push_back(const_cast<char*>(sender.c_str()));
    }
    argv.push_back(nullptr);

    int link[2];
    int report[2];
    openPipe(form, link);
    openPipe(form, report);

    // The page so far must reach the server once, before anything the mailer
    // prints; a mailer that stops reading must not end the gateway; and the
    // mailer's end is waited for with SIGCHLD held back (see waitUntil).
    std::fflush(stdout);
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t child;
    sigemptyset(&child);
    sigaddset(&child, SIGCHLD);
    sigprocmask(SIG_BLOCK, &child, nullptr);

    const pid_t mailer = fork();
    if (mailer < 0)
        errorPage(form, serverError, "<P>Could not open pipe to mail program.</P>\n",
                  std::string("cannot start a process for the mailer: ") + std::strerror(errno));
    if (mailer == 0)
        runMailer(link[0], report[1], argv.data());
    const Deadline deadline = Deadline::in(form.mailerTimeout);
    close(link[0]);
    close(report[1]);
    fcntl(link[1], F_SETFL, O_NONBLOCK);
    const int writeError = writeAll(link[1], mail.text(), deadline);
    close(link[1]);

    // Closed unread when the mailer started; a report when it could not.
    MailerStart start{0, 0};
    if (read(report[0], &start, sizeof start) != static_cast<ssize_t>(sizeof start))
        start = {0, 0};
    close(report[0]);

    int status = 0;
    int waitError = 0;
    if (!waitUntil(mailer, deadline, status, waitError)) {
        kill(mailer, SIGTERM);
        if (!waitUntil(mailer, Deadline::in(termGrace), status, waitError)) {
            kill(mailer, SIGKILL);
            waitUntil(mailer, Deadline::in(setting::longestTimeout), status, waitError);
        }
        return {"mailer " + std::string(mailerPath) + " did not finish within " + std::to_string(form.mailerTimeout) +
                    " s; stopped",
                true};
    }
    return {mailerFailure(start, waitError, status, writeError)};
}

// After a delivery: the success page, or, when the form has a thank-you page
// of its own, a 303 to it, which the browser follows with a GET, so that
// reloading that page never sends the form again; the one-line page is for
// clients that do not follow. A script that asked for JSON gets {"ok":true},
// with the thank-you page as "next" for it to go to.
void successPage(const Settings& form)
{
    if (answerJson) {
        jsonAnswer(ok, form.thanksUrl.empty() ? "{\"ok\":true}"
                                              : "{\"ok\":true,\"next\":" + json_string(form.thanksUrl) + "}");
        return;
    }
    if (!form.thanksUrl.empty()) {
        const std::string url(form.thanksUrl);
        std::printf("Status: 303 See Other\nLocation: %s\n", url.c_str());
        allowOriginLines();
        std::fputs("Content-type: text/html\n\n", stdout);
        std::printf("<P>Your input has been delivered: <A HREF=\"%s\">continue</A>.</P>\n",
                    html_escape(url).c_str());
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
    Settings form;
    const std::string badArguments = parseArguments(argc, argv, form);
    answerJson = form.json && accepts_json(envOr("HTTP_ACCEPT"));
    if (!form.allowOrigin.empty() && form.allowOrigin == envOr("HTTP_ORIGIN"))
        allowedOrigin = form.allowOrigin;
    if (form.thanksUrl.empty() && !answerJson)
        writeHeader();
    if (const char* length = std::getenv("CONTENT_LENGTH"); length != nullptr)
        cl = content_length(length);
    std::setvbuf(stdin, bodyBuffer, _IOFBF, sizeof bodyBuffer);
    try {
        if (!badArguments.empty())
            usage(form, badArguments);
        const std::string boundary = checkRequest(form);
        std::uint64_t formBytes = 0;
        std::vector<FormEntry> fields;
        std::vector<Attachment> files;
        WholeBody body;  // a multipart body, which the files' bytes stay in
        if (boundary.empty()) {
            fields = collectFields(form, formBytes);
        } else {
            body = readWholeBody();
            formBytes = body.size;
            collectParts(form, body.text(), boundary, fields, files);
        }
        // A robot's form gets the success page, so that it learns nothing,
        // and no mail; a person's leaves the empty trap field out of it.
        if (trapFilled(form, fields)) {
            logTrapFilled();
        } else {
            dropTrapField(form, fields);
            if (const MailerOutcome mailer = mailFields(form, fields, files, formBytes); !mailer.failure.empty())
                errorPage(form, mailer.stopped ? gatewayTimeout : badGateway,
                          "<P>An error occurred executing the mailer.</P>\n", mailer.failure);
        }
    } catch (const std::bad_alloc&) {
        errorPage(form, serverError, "<P>The form was too large for the memory of this server.</P>\n",
                  std::string("out of memory while ") + phase);
    }
    successPage(form);
    return 0;
}
