// folio's echo page as its black-box tests expect it, byte for byte.
#pragma once

#include <string>

// The banner, the count, the field lines and the site's signature.
std::string folio_page(const std::string& count, const std::string& fields);

// The lines of one field on the page, its name and value as they are shown.
std::string folio_field(const std::string& name, const std::string& value);
