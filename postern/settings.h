// A form's settings: the site's compiled-in defaults (config.h), each of
// which the form's wrapper may override with an option on postern's command
// line. One check a setting, used for the defaults (when postern is
// compiled) and for the options (when a request comes) alike.
#pragma once

#include <cstdint>
#include <string_view>

#include "formdecode/letters.h"
#include "postern/file_kinds.h"

struct Settings {
    std::string_view recipient;
    std::string_view subject = "HTML Fill-Out Form Output";
    std::string_view replyToField;    // empty: replies go to the recipient
    std::string_view thanksUrl;       // empty: postern's own success page
    std::string_view trapField;       // empty: no trap
    std::string_view mailCharset;     // empty: MIME headers only on a quoted-printable body
    std::string_view webmaster;       // empty: webmaster@ and the host name
    std::string_view envelopeSender;  // empty: the mailer's own (the server's user)
    unsigned mailerTimeout = 30;      // seconds the mailer may take
    unsigned attachmentKinds = 0;     // the kinds of file the form takes (kindBit); 0: none, no multipart posts
    std::uint64_t attachmentsMax = 5242880;  // the files' bytes together, at most
    bool json = false;                // JSON answers to a script that asks for them
    std::string_view allowOrigin;     // the other origin whose scripts may read the answers; empty: none
};

// The checks: why `value` cannot be the setting, or nullptr when it can. An
// empty value (the setting off) passes each of them.
namespace setting {

constexpr bool hasLineBreak(std::string_view text)
{
    return text.find_first_of("\r\n") != std::string_view::npos;
}

constexpr const char* plainText(std::string_view text)
{
    return hasLineBreak(text) ? "holds a line break" : nullptr;
}

constexpr bool isAtext(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("!#$%&'*+-/=?^_`{|}~").find(c) != std::string_view::npos;
}

// Characters of an address's kind and single inner dots.
constexpr bool isDotAtom(std::string_view text)
{
    bool afterDot = true;  // no dot first
    for (const char c : text) {
        if (c == '.') {
            if (afterDot)
                return false;
            afterDot = true;
        } else if (isAtext(c)) {
            afterDot = false;
        } else {
            return false;
        }
    }
    return !afterDot;  // nor last, nor an empty text
}

// One plain address, local@domain of dot-atoms, no more than mail allows
// (254 octets, 64 in the local part), and no encoded word a reader might
// decode.
constexpr bool isPlainAddress(std::string_view text)
{
    const std::size_t at = text.find('@');
    return text.size() <= 254 && at != std::string_view::npos && at <= 64 && isDotAtom(text.substr(0, at)) &&
           isDotAtom(text.substr(at + 1)) && text.find("=?") == std::string_view::npos;
}

// The page after a delivery goes into a Location header and a link.
constexpr const char* thanksUrl(std::string_view url)
{
    if (url.empty())
        return nullptr;
    for (const char c : url)
        if (static_cast<unsigned char>(c) <= ' ' || c == '\x7F')
            return "holds a space or a control character";
    const bool path = url == "/" || (url.size() > 1 && url[0] == '/' && url[1] != '/');
    const auto web = [&](std::string_view scheme) {
        return url.substr(0, scheme.size()) == scheme && url.size() > scheme.size() && url[scheme.size()] != '/';
    };
    return path || web("http://") || web("https://") ? nullptr : "is not a path or an http(s) URL";
}

// `text` is `prefix` in any letter case and then a number from `low` to `high`.
constexpr bool numbered(std::string_view text, std::string_view prefix, int low, int high)
{
    if (text.size() <= prefix.size() || text.size() > prefix.size() + 4 ||
        !same_name(text.substr(0, prefix.size()), prefix))
        return false;
    int n = 0;
    for (const char c : text.substr(prefix.size())) {
        if (c < '0' || c > '9')
            return false;
        n = n * 10 + (c - '0');
    }
    return text[prefix.size()] != '0' && n >= low && n <= high;
}

constexpr bool isUtf8(std::string_view charset)
{
    return same_name(charset, "UTF-8");
}

// The mail's character set: UTF-8, or a set of one byte a letter, the only
// sets in which the gateway can tell where a letter ends when it cuts an
// encoded subject into words.
constexpr const char* mailCharset(std::string_view name)
{
    if (name.empty() || isUtf8(name) || same_name(name, "US-ASCII") || same_name(name, "KOI8-R") ||
        same_name(name, "KOI8-U") || (numbered(name, "ISO-8859-", 1, 16) && !same_name(name, "ISO-8859-12")) ||
        numbered(name, "windows-", 1250, 1258))
        return nullptr;
    return "is not UTF-8, US-ASCII, ISO-8859-n, windows-125n, KOI8-R or KOI8-U";
}

// The envelope sender is the mailer's argument after -f: a plain address,
// which cannot be taken for an option.
constexpr const char* envelopeSender(std::string_view address)
{
    if (address.empty())
        return nullptr;
    if (address[0] == '-')
        return "begins with \"-\"";
    return isPlainAddress(address) ? nullptr : "is not a plain address";
}

inline constexpr unsigned longestTimeout = 3600;

// The mailer's deadline, whole seconds from 1 to longestTimeout; 0 when
// `text` is not one.
constexpr unsigned seconds(std::string_view text)
{
    if (text.empty() || text.size() > 4 || text[0] == '0')
        return 0;
    unsigned n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + static_cast<unsigned>(c - '0');
    }
    return n <= longestTimeout ? n : 0;
}

constexpr const char* mailerTimeout(std::string_view text)
{
    return seconds(text) != 0 ? nullptr : "is not a whole number of seconds from 1 to 3600";
}

// The kinds of file a form takes, from a list of extensions separated by
// commas (pdf,docx); 0 when the list is empty or names another.
constexpr unsigned fileKindBits(std::string_view list)
{
    unsigned bits = 0;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view extension = list.substr(0, comma);
        bool known = false;
        for (std::size_t i = 0; i < std::size(fileKinds); ++i)
            if (same_name(extension, fileKinds[i].extension)) {
                bits |= kindBit(i);
                known = true;
            }
        if (!known)
            return 0;
        list.remove_prefix(comma == std::string_view::npos ? list.size() : comma + 1);
        if (comma != std::string_view::npos && list.empty())
            return 0;
    }
    return bits;
}

constexpr const char* attachments(std::string_view list)
{
    return list.empty() || fileKindBits(list) != 0 ? nullptr
                                                   : "is not a list of pdf, doc, docx, odt, rtf and txt, "
                                                     "separated by commas";
}

inline constexpr std::uint64_t mostBytes = 2147483647;  // a request body's CONTENT_LENGTH, at most

// A number of bytes from 1 to mostBytes; 0 when `text` is not one.
constexpr std::uint64_t bytes(std::string_view text)
{
    if (text.empty() || text.size() > 10 || text[0] == '0')
        return 0;
    std::uint64_t n = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return 0;
        n = n * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return n <= mostBytes ? n : 0;
}

constexpr const char* attachmentsMax(std::string_view text)
{
    return bytes(text) != 0 ? nullptr : "is not a whole number of bytes from 1 to 2147483647";
}

// A switch of the site's defaults: on, off or empty (off), in any letter case.
constexpr const char* onOff(std::string_view text)
{
    return text.empty() || same_name(text, "on") || same_name(text, "off") ? nullptr : "is not ON or OFF";
}

constexpr bool isOn(std::string_view text)
{
    return same_name(text, "on");
}

// The origin of the site's own pages when they are served from another host
// or port than the gateway: http:// or https://, a host of letters, digits,
// dots and hyphens, and an optional port; nothing else, as a browser writes
// it in its Origin header.
constexpr const char* origin(std::string_view text)
{
    constexpr const char* fault = "is not http(s)://host with an optional :port";
    if (text.empty())
        return nullptr;
    std::string_view host;
    if (text.substr(0, 7) == "http://")
        host = text.substr(7);
    else if (text.substr(0, 8) == "https://")
        host = text.substr(8);
    else
        return fault;
    const std::size_t colon = host.find(':');
    const std::string_view port = colon == std::string_view::npos ? std::string_view() : host.substr(colon + 1);
    host = host.substr(0, colon);
    if (host.empty() || host.front() == '.' || host.front() == '-' || host.back() == '.' || host.back() == '-')
        return fault;
    for (const char c : host)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-'))
            return fault;
    if (colon != std::string_view::npos) {
        if (port.empty() || port.size() > 5 || port[0] == '0')
            return fault;
        unsigned n = 0;
        for (const char c : port) {
            if (c < '0' || c > '9')
                return fault;
            n = n * 10 + static_cast<unsigned>(c - '0');
        }
        if (n > 65535)
            return fault;
    }
    return nullptr;
}

} // namespace setting
