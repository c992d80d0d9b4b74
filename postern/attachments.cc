#include "postern/attachments.h"

#include "formdecode/letters.h"

namespace {

// Valid UTF-8 (RFC 3629: no overlong forms, no surrogates, nothing past
// U+10FFFF) without a NUL byte.
bool isUtf8Text(std::string_view text)
{
    while (!text.empty()) {
        const std::size_t length = utf8_letter(text);
        if (length == 0 || text[0] == '\0')
            return false;
        text.remove_prefix(length);
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
        if ((bits & kindBit(i)) != 0 && same_name(name.substr(dot + 1), fileKinds[i].extension))
            return &fileKinds[i];
    return nullptr;
}

bool begins_as(const FileKind& kind, std::string_view bytes)
{
    return kind.signature.empty() ? isUtf8Text(bytes) : bytes.substr(0, kind.signature.size()) == kind.signature;
}
