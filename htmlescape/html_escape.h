// Escaping of text from the request or the environment that a page shows.
#pragma once

#include <string>
#include <string_view>

// Returns `text` with & < > " ' written as &amp; &lt; &gt; &quot; &#39;, so
// that nothing a visitor sends can become markup in a page.
std::string html_escape(std::string_view text);
