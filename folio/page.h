// folio's page-output routines. None of them escapes the texts it is given:
// callers pass the site's own texts, or text they have escaped.
#pragma once

#include <cstdio>

// The content-type header line and the empty line that ends the headers.
void output_html(std::FILE* out = stdout);

// A redirect answer to `url`; the URL is cut at its first carriage return or
// newline, so that it can never add a header line.
void output_location(const char* url, std::FILE* out = stdout);

// A plain page head with `title`, and the opening of its body.
void html_header(const char* title, std::FILE* out = stdout);

// Closes the body and the page opened by html_header.
void html_footer(std::FILE* out = stdout);

// The organisation's banner: page title, background colour, logo and heading.
void orvik_header(const char* title, const char* bgcolor, std::FILE* out = stdout);

// The organisation's signature block; its last line closes the body and page.
void orvik_signature(std::FILE* out = stdout);
