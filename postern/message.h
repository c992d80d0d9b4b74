// The mail that postern hands to the mailer for one form submission: the
// header block the mailer takes its recipients from, a report on the visitor
// and the server, and every field of the form.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "formdecode/formdecode.h"

// The gateway's version and date, as stored keyword strings.
extern const char revisionLevel[];
extern const char revisionDate[];

// Shown in place of an environment variable that is not set.
extern const char* const unknown;

// Writes `count` spaces to `out`.
void printSpaces(std::FILE* out, std::size_t count);

// Writes the whole message to `out`. Values of a repeated neighbouring name
// and continuation lines of a name or a value are indented to the value
// column, so that only the gateway's own lines start at the left margin.
void writeMessage(std::FILE* out, const char* recipient, const char* subject,
                  const std::vector<FormEntry>& fields);
