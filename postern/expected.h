// postern's pages and mail as its black-box tests expect them, byte for byte,
// built from the texts the gateway must write.
#pragma once

#include <string>

// A body of `count` fields: f0=v&f1=v&...
std::string numbered_fields(int count);

// The address the error pages name when the site sets none.
std::string host_webmaster();

std::string postern_success();
// An error page with `lines` between its opening and closing; `webmaster` is
// the address as the page shows it.
std::string postern_error(const std::string& lines, const std::string& webmaster = host_webmaster());
std::string postern_usage(const std::string& webmaster = host_webmaster());
inline const char* const mailer_failed = "<P>An error occurred executing the mailer.</P>\n";

// The message with every report line "(unknown)", `mime` after the
// X-Delivered-Via line, and `values` after the form-values title.
std::string postern_message(const std::string& values, const std::string& to = "forms@example.org",
                            const std::string& subject = "HTML Fill-Out Form Output",
                            const std::string& mime = "");
