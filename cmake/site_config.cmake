# The site's settings reach the programs through one generated header,
# config.h, made from config.h.in with each value quoted for C++.
#
#   cgi_site_config(<target> <folder> [<SETTING> <value>]...)
#
# writes <folder>/config.h from the cache, with the named settings replaced
# (the tests and benchmarks build programs with their own mailer), and makes
# an interface target that puts the folder on a program's include path.

set(cgi_site_settings
  POSTERN_MAILER POSTERN_TRAP_FIELD POSTERN_MAIL_CHARSET POSTERN_REPLY_TO_FIELD POSTERN_THANKS_URL
  POSTERN_WEBMASTER POSTERN_ENVELOPE_SENDER POSTERN_MAILER_TIMEOUT POSTERN_ATTACHMENTS POSTERN_ATTACHMENTS_MAX
  POSTERN_JSON POSTERN_ALLOW_ORIGIN
  FOLIO_ORG_NAME FOLIO_ORG_ROOM FOLIO_ORG_CITY FOLIO_ORG_PHONE)

# Each value ends up in a mail header or a page: a line break would let it
# add a header or break the page, so it is refused here, before a build.
foreach(setting IN LISTS cgi_site_settings)
  if("${${setting}}" MATCHES "[\r\n]")
    message(FATAL_ERROR "${setting} must not contain a line break")
  endif()
endforeach()
# Every other check of a setting is postern's own, the same for its
# compiled-in defaults (a build with a value it refuses stops with the
# setting's name) as for the options of a form's wrapper.

function(cgi_site_config target folder)
  set(overrides "${ARGN}")  # quoted: an empty value stays a value
  while(overrides)
    list(POP_FRONT overrides name value)
    set(${name} "${value}")
  endwhile()
  foreach(setting IN LISTS cgi_site_settings)
    set(text "${${setting}}")
    string(REPLACE "\\" "\\\\" text "${text}")
    string(REPLACE "\"" "\\\"" text "${text}")
    set(${setting}_QUOTED "\"${text}\"")
  endforeach()
  configure_file("${PROJECT_SOURCE_DIR}/config.h.in" "${folder}/config.h" @ONLY)
  add_library(${target} INTERFACE)
  target_include_directories(${target} INTERFACE "${folder}")
endfunction()
