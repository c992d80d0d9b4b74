// The programs under the limits a server or the host may set: too few
// descriptors for the pipe to the mailer, too little memory for the form.
// Each gets its error page, exit status 1 and its log line, and postern
// sends nothing.

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>

#include "folio/expected.h"
#include "postern/expected.h"
#include "testsupport/request_table.h"

namespace {

TEST(ResourceLimits, NoDescriptorForThePipe)
{
    const TempDir mailbox;
    Request request{{"forms@example.org"}, post("a=1"), "a=1"};
    use_mailbox(request, mailbox);
    request.fileLimit = 4;  // standard input, output, error and one more: no room for a pipe
    const Outcome r = run_program(POSTERN_PATH, request);
    EXPECT_EQ(r.out, postern_error("<P>Could not open pipe to mail program.</P>\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "postern: cannot make a pipe to the mailer: Too many open files\n");
    EXPECT_FALSE(file_exists(mailbox / "args"));
}

// A closed standard descriptor that cannot be opened on /dev/null (no
// descriptor left under the limit): the gateway stops there, rather than let
// the pipe to the mailer take its place. Standard input is closed too, so
// that a dynamically linked program's loader has descriptor 0 to open its
// libraries on; the gateway takes it for /dev/null and fails on descriptor 1.
TEST(ResourceLimits, NoDescriptorForAClosedOne)
{
#if defined(__SANITIZE_ADDRESS__) || defined(CGI_SANITIZED)
    GTEST_SKIP() << "a sanitized build loads its runtime with descriptors the limit does not leave";
#endif
    const TempDir mailbox;
    Request request{{"forms@example.org"}, post("a=1"), "a=1"};
    use_mailbox(request, mailbox);
    request.closed = {STDIN_FILENO, STDOUT_FILENO};
    request.fileLimit = 1;
    const Outcome r = run_program(POSTERN_PATH, request);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "postern: cannot open /dev/null on the closed descriptor 1: Too many open files\n");
    EXPECT_FALSE(file_exists(mailbox / "args"));
}

// A body whose mail would be the square of its size is refused by the
// count, before anything is allocated: well within a small address space.
TEST(ResourceLimits, QuadraticBodyInLittleMemory)
{
#if defined(__SANITIZE_ADDRESS__) || defined(CGI_SANITIZED)
    GTEST_SKIP() << "an address-space limit cannot be combined with the address sanitizer";
#endif
    const TempDir mailbox;
    const std::string body = std::string(65535, '\n') + "=x";
    Request request{{"forms@example.org"}, post(body), body};
    use_mailbox(request, mailbox);
    request.memoryLimit = 64UL << 20;
    const Outcome r = run_program(POSTERN_PATH, request);
    EXPECT_EQ(r.out, postern_error("<P>The form was too large for the memory of this server.</P>\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.substr(0, r.err.find(" bytes for")), "postern: the mail would be " +
              std::to_string(postern_message("").size() + laid_out_size({{std::string(65535, '\n'), "x"}})));
    EXPECT_FALSE(file_exists(mailbox / "args"));
}

TEST(ResourceLimits, OutOfMemory)
{
#if defined(__SANITIZE_ADDRESS__) || defined(CGI_SANITIZED)
    GTEST_SKIP() << "an address-space limit cannot be combined with the address sanitizer";
#endif
    const std::string big(256 << 20, 'x');
    {
        const TempDir mailbox;
        const std::string body = "f=" + big;
        Request request{{"forms@example.org"}, post(body), body};
        use_mailbox(request, mailbox);
        request.memoryLimit = 128UL << 20;
        const Outcome r = run_program(POSTERN_PATH, request);
        EXPECT_EQ(r.out, postern_error("<P>The form was too large for the memory of this server.</P>\n"));
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "postern: out of memory while reading the form\n");
        EXPECT_FALSE(file_exists(mailbox / "args"));
    }
    const std::string body = "a=1&big=" + big;
    Request request{{}, {{"CONTENT_LENGTH", std::to_string(body.size())}}, body};
    request.memoryLimit = 128UL << 20;
    const Outcome r = run_program(FOLIO_PATH, request);
    EXPECT_TRUE(r.out == folio_page("1", "\na<BR>\n\n1<BR>\n"
                                         "\n<P>The form was too large for the memory of this server.</P>\n"))
        << r.out.substr(0, 1000);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "folio: out of memory while reading the form\n");
}

} // namespace
