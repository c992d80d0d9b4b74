// The organisation's signature lines, set by the site when folio is built
// (CMake cache variables FOLIO_ORG_NAME, FOLIO_ORG_ROOM, FOLIO_ORG_CITY,
// FOLIO_ORG_PHONE).
#pragma once

extern const char orgName[];
extern const char orgRoom[];
extern const char orgCity[];
extern const char orgPhone[];
