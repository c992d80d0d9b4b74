// How postern answers a script that posts a form with fetch() and asks for
// JSON: what its Accept header asks for, and the error sentence of a page as
// a JSON string.
#pragma once

#include <string>
#include <string_view>

// Whether an Accept header lists application/json (in any letter case) with
// a quality above 0. A browser's own form post lists text/html and */*: not
// JSON.
bool accepts_json(std::string_view accept);

// `text` as a JSON string, its quotes included: a double quote, a backslash,
// control characters and < > & ' escaped (\" \\ \n \u00XX), so that nothing
// in it can end the string or become markup where a script puts it; letters
// of valid UTF-8 kept, any other byte beyond ASCII as U+FFFD.
std::string json_string(std::string_view text);

// The text of a page's lines as a visitor reads it: tags dropped, the five
// entities decoded, each line break a space, no space at either end.
std::string plain_text(std::string_view lines);
