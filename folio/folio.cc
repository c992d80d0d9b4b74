// folio: the resume workshop's echo page. Shows the fields of a form posted
// to it exactly as the browser encoded them (escaped for the page), between
// the organisation's banner and its signature.

#include <array>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "errorlog/errorlog.h"
#include "folio/page.h"
#include "formdecode/formdecode.h"
#include "htmlescape/html_escape.h"

namespace {

// The room a field's buffer reserves at first: a long text fits at once.
constexpr std::size_t folio_block = 102400;

// The fields shown, in body order; later fields are not read.
std::array<FormEntry, 20> input;
int NUM_INPUT = 0;

// The content-length counter: what is left of the body to read.
int cl = 0;

// Reads the fields of the body into `input`, undecoded. Without a
// CONTENT_LENGTH nothing is read.
void get_input()
{
    const char* length = std::getenv("CONTENT_LENGTH");
    cl = length != nullptr ? content_length(length) : 0;
    while (cl != 0 && !at_end(stdin) && NUM_INPUT < static_cast<int>(input.size())) {
        FormEntry& slot = input[static_cast<std::size_t>(NUM_INPUT)];
        slot.value = fmakeword(stdin, '&', cl, folio_block);
        slot.name = makeword(slot.value, '=');
        ++NUM_INPUT;
    }
}

void show_field(const std::string& text)
{
    std::fputs("\n", stdout);
    print_html_escaped(stdout, text);
    std::fputs("<BR>\n", stdout);
}

} // namespace

int main()
{
    output_html();
    orvik_header("ORVIK-Resume Workshop", "white");
    int status = 0;
    try {
        get_input();
    } catch (const std::bad_alloc&) {
        log_error("folio", "out of memory while reading the form");
        status = 1;
    }
    // Fields past the table, or past the memory, are not shown but read: a
    // server that passes the body over a socket (Apache's mod_cgid) drops
    // the page of a program that ends with part of it unread.
    discard_rest(stdin, cl);
    std::printf("%d", NUM_INPUT);
    for (int i = 0; i < NUM_INPUT; ++i) {
        show_field(input[static_cast<std::size_t>(i)].name);
        show_field(input[static_cast<std::size_t>(i)].value);
    }
    if (status != 0)
        std::fputs("\n<P>The form was too large for the memory of this server.</P>\n", stdout);
    orvik_signature();
    return status;
}
