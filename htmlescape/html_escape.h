// Escaping of text from the request or the environment that a page shows.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// Returns `text` with & < > " ' written as &amp; &lt; &gt; &quot; &#39;, so
// that nothing a visitor sends can become markup in a page.
std::string html_escape(std::string_view text);

// Writes html_escape(text) to `out` without building it in memory first.
void print_html_escaped(std::FILE* out, std::string_view text);
