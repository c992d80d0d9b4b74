// The multipart/form-data reader over hostile bodies. The first byte picks
// how the rest is taken:
//   even: as a body whole, with the boundary "AaB03x": whatever it holds,
//         the reader ends, keeps to its limit of parts, and every value it
//         gives lies inside the body;
//   odd:  as fields and files, split at 0x01 into parts and at 0x02 into a
//         name and a value (a 0x03 first in the value makes it a file, with
//         the text before the next 0x03 as its file name): the body a
//         browser would send for them reads back as exactly those parts.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "formdecode/multipart.h"

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

constexpr std::size_t maxParts = 16;

void readWhole(std::string_view body)
{
    std::vector<FormPart> parts;
    const MultipartFault fault = read_multipart(body, "AaB03x", maxParts, parts);
    check(parts.size() <= maxParts);
    check(fault != MultipartFault::none || parts.size() <= maxParts);
    for (const auto& part : parts)
        check(part.value.data() >= body.data() && part.value.data() + part.value.size() <= body.data() + body.size());
}

// A name or a file name as a browser sends it: without NUL, CR, LF and
// double quotes, which it writes as %00, %0D, %0A and %22.
std::string asSent(std::string_view text)
{
    std::string out;
    for (const char c : text)
        if (c != '\0' && c != '\r' && c != '\n' && c != '"')
            out += c;
    return out;
}

void roundTrip(std::string_view text)
{
    struct Sent {
        std::string name;
        std::string value;
        bool isFile;
        std::string filename;
    };
    std::vector<Sent> sent;
    while (!text.empty() && sent.size() < maxParts) {
        const std::size_t end = text.find('\x01');
        std::string_view field = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        const std::size_t split = field.find('\x02');
        Sent part{asSent(field.substr(0, split)), "", false, ""};
        std::string_view value = split == std::string_view::npos ? std::string_view() : field.substr(split + 1);
        if (!value.empty() && value.front() == '\x03') {
            const std::size_t nameEnd = value.find('\x03', 1);
            part.isFile = true;
            part.filename = asSent(value.substr(1, nameEnd == std::string_view::npos ? 0 : nameEnd - 1));
            value.remove_prefix(nameEnd == std::string_view::npos ? value.size() : nameEnd + 1);
        }
        part.value = value;
        if (!part.isFile)
            part.value = part.value.substr(0, part.value.find('\0'));
        // A browser picks a boundary that no value holds.
        if (part.value.find("--AaB03x") != std::string::npos)
            return;
        sent.push_back(part);
    }
    std::string body;
    for (const auto& part : sent) {
        body += "--AaB03x\r\nContent-Disposition: form-data; name=\"" + part.name + "\"";
        if (part.isFile)
            body += "; filename=\"" + part.filename + "\"\r\nContent-Type: application/octet-stream";
        body += "\r\n\r\n" + part.value + "\r\n";
    }
    body += "--AaB03x--\r\n";

    std::vector<FormPart> parts;
    check(read_multipart(body, "AaB03x", maxParts, parts) == MultipartFault::none);
    std::size_t at = 0;
    for (const auto& part : sent) {
        if (part.isFile && part.filename.empty() && part.value.empty())
            continue;  // a file input left empty
        check(at < parts.size());
        const FormPart& read = parts[at++];
        check(read.name == part.name && read.value == part.value && read.isFile == part.isFile &&
              read.filename == part.filename);
    }
    check(at == parts.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] % 2 == 0)
        readWhole(rest);
    else
        roundTrip(rest);
    return 0;
}
