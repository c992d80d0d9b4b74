// The site's compiled-in defaults of a form's settings pass the same checks
// as the options of a form's wrapper: a build with a value they refuse stops
// here, with the setting's name. CMake compiles this file on its own when it
// configures, so that such a value is refused before a build.
#pragma once

#include "config.h"
#include "postern/settings.h"

static_assert(setting::plainText(trapField) == nullptr, "POSTERN_TRAP_FIELD must not hold a line break");
static_assert(setting::plainText(replyToField) == nullptr, "POSTERN_REPLY_TO_FIELD must not hold a line break");
static_assert(setting::plainText(webmaster) == nullptr, "POSTERN_WEBMASTER must not hold a line break");
static_assert(setting::thanksUrl(thanksUrl) == nullptr,
              "POSTERN_THANKS_URL must be an absolute path or an http or https URL, without spaces or control "
              "characters");
static_assert(setting::mailCharset(mailCharset) == nullptr,
              "POSTERN_MAIL_CHARSET must be UTF-8 or a character set of one byte a letter: US-ASCII, ISO-8859-n, "
              "windows-125n, KOI8-R or KOI8-U (any letter case); only in those can postern tell where a letter "
              "ends");
static_assert(setting::envelopeSender(envelopeSender) == nullptr,
              "POSTERN_ENVELOPE_SENDER must be a plain address (local@domain), not beginning with a minus sign");
static_assert(setting::mailerTimeout(mailerTimeout) == nullptr,
              "POSTERN_MAILER_TIMEOUT must be a whole number of seconds from 1 to 3600");
static_assert(setting::attachments(attachments) == nullptr,
              "POSTERN_ATTACHMENTS must be empty or a list of pdf, doc, docx, odt, rtf and txt, separated by commas");
static_assert(setting::onOff(answersJson) == nullptr, "POSTERN_JSON must be ON, OFF or empty");
static_assert(setting::origin(allowOrigin) == nullptr,
              "POSTERN_ALLOW_ORIGIN must be http:// or https://, a host and an optional :port, nothing else");
static_assert(setting::attachmentsMax(attachmentsMax) == nullptr,
              "POSTERN_ATTACHMENTS_MAX must be a whole number of bytes from 1 to 2147483647");
