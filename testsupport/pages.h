// The expected bytes of the programs' pages and of postern's mail, built from
// the texts the programs must write, for the black-box tests.
#pragma once

#include <string>

// A body of `count` fields: f0=v&f1=v&...
std::string numbered_fields(int count);

// postern's pages.
std::string postern_success();
std::string postern_error(const std::string& lines);  // the lines between opening and closing
std::string postern_usage();
inline const char* const mailer_failed = "<P>An error occurred executing the mailer.</P>\n";

// postern's message with every report line "(unknown)" and `values` after
// the form-values title.
std::string postern_message(const std::string& values, const std::string& to = "forms@example.org",
                            const std::string& subject = "HTML Fill-Out Form Output");

// folio's page: banner, the count, the field lines, the signature.
std::string folio_page(const std::string& count, const std::string& fields);

// lookout's page for the text shown as the browser.
std::string lookout_page(const std::string& shown);
