// The programs' line in the web server's error log: every web server sends a
// CGI program's standard error there. Each failure writes one line; success
// writes none.
#pragma once

#include <string>
#include <string_view>

// `text` from the request or the environment, safe inside a log line: in
// double quotes, at most 200 of its bytes, with control characters, bytes
// from 0x80 up, the backslash and the double quote written as \xNN, and
// "..." after the closing quote when it was cut. No visitor can start a line
// of the log or make one line look like two.
std::string log_quoted(std::string_view text);

// Writes "<program>: <message>" and a newline to standard error in a single
// write, so that it never interleaves with another process's output.
// Allocates nothing: it also serves when memory has run out.
void log_error(std::string_view program, std::string_view message);
