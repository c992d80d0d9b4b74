// The mail that postern hands to the mailer for one form submission: the
// header block the mailer takes its recipients from, a report on the visitor
// and the server, and every field of the form.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "formdecode/formdecode.h"

// The gateway's version and date, as stored keyword strings.
extern const char revisionLevel[];
extern const char revisionDate[];

// Shown in place of an environment variable that is not set.
extern const char* const unknown;

// The longest line Internet mail may carry, in octets without its line end:
// relays refuse or rewrite longer ones.
inline constexpr std::size_t longestMailLine = 998;

// Writes `count` spaces at `at`, into room the message being written keeps
// for them, and moves `at` past them.
void printSpaces(char*& at, std::size_t count);

// Why the recipient or the subject cannot stand in the mail's header lines
// (a line of more than longestMailLine octets), for the error log; empty when
// both fit.
std::string headerTooLong(std::string_view recipient, std::string_view subject);

// The whole message, made before the mailer starts so that nothing is ever
// half sent. Values of a repeated neighbouring name and every line after a
// line break (LF, CR LF, or a CR alone) in a name or a value are indented to
// the value column, so that only the gateway's own lines start at the left
// margin. A body that holds a line longer than longestMailLine, or a CR
// alone, goes as quoted-printable, which every relay carries unchanged and
// every reader decodes to the same text. Replies go to the recipient, or,
// when the site names a reply field, to the one plain address the visitor
// typed into it.
std::string composeMessage(const char* recipient, const char* subject, const std::vector<FormEntry>& fields);

// The body as quoted-printable: lines of at most 76 characters, soft breaks
// where a line of the text is longer, a CR LF or LF of the text as a line
// break of the mail.
std::string quotedPrintable(std::string_view body);
