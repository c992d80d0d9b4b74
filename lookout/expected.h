// lookout's page as its black-box tests expect it, byte for byte.
#pragma once

#include <string>

// The page for `shown`, the browser's name as the page must show it.
inline std::string lookout_page(const std::string& shown)
{
    return "Content-type: text/html\n\nI detect the following Web Browser: " + shown + "\n";
}
