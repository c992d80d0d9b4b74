#include "postern/attachments.h"

namespace {

char lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameName(std::string_view text, std::string_view name)
{
    if (text.size() != name.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (lower(text[i]) != lower(name[i]))
            return false;
    return true;
}

// Valid UTF-8 (RFC 3629: no overlong forms, no surrogates, nothing past
// U+10FFFF) without a NUL byte.
bool isUtf8Text(std::string_view text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const auto* const end = p + text.size();
    while (p < end) {
        const unsigned c = *p;
        if (c < 0x80) {
            if (c == 0)
                return false;
            ++p;
            continue;
        }
        std::size_t length = 0;
        unsigned low = 0x80;  // the least second byte, against overlong forms and surrogates
        unsigned high = 0xBF;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            low = c == 0xE0 ? 0xA0 : 0x80;
            high = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            low = c == 0xF0 ? 0x90 : 0x80;
            high = c == 0xF4 ? 0x8F : 0xBF;
        } else {
            return false;
        }
        if (static_cast<std::size_t>(end - p) < length || p[1] < low || p[1] > high)
            return false;
        for (std::size_t i = 2; i < length; ++i)
            if ((p[i] & 0xC0) != 0x80)
                return false;
        p += length;
    }
    return true;
}

} // namespace

std::string_view last_component(std::string_view filename)
{
    const std::size_t slash = filename.find_last_of("/\\");
    return slash == std::string_view::npos ? filename : filename.substr(slash + 1);
}

const FileKind* kind_of_name(std::string_view name, unsigned bits)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return nullptr;
    for (std::size_t i = 0; i < std::size(fileKinds); ++i)
        if ((bits & kindBit(i)) != 0 && sameName(name.substr(dot + 1), fileKinds[i].extension))
            return &fileKinds[i];
    return nullptr;
}

bool begins_as(const FileKind& kind, std::string_view bytes)
{
    return kind.signature.empty() ? isUtf8Text(bytes) : bytes.substr(0, kind.signature.size()) == kind.signature;
}
