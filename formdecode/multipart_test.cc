#include "formdecode/multipart.h"

#include <gtest/gtest.h>

#include <cctype>
#include <optional>
#include <string>
#include <vector>

namespace {

// A part as the reader gives it: name, value, and the file name of a file.
struct Part {
    std::string name;
    std::string value;
    std::optional<std::string> filename = std::nullopt;

    bool operator==(const Part&) const = default;
};

std::vector<Part> plain(const std::vector<FormPart>& parts)
{
    std::vector<Part> out;
    for (const auto& p : parts)
        out.push_back({p.name, std::string(p.value), p.isFile ? std::optional(p.filename) : std::nullopt});
    return out;
}

// A part of a body with the boundary "AaB03x": its header lines and content.
std::string part(const std::string& headers, const std::string& content)
{
    return "--AaB03x\r\n" + headers + "\r\n" + content + "\r\n";
}

std::string field(const std::string& name, const std::string& value)
{
    return part("Content-Disposition: form-data; name=\"" + name + "\"\r\n", value);
}

const std::string closing = "--AaB03x--\r\n";

// A body of `count` fields.
std::string fields(int count)
{
    std::string body;
    for (int i = 0; i < count; ++i)
        body += field("f" + std::to_string(i), "v");
    return body + closing;
}

struct MultipartCase {
    const char* what;
    std::string boundary;
    std::string body;
    MultipartFault fault;
    std::vector<Part> parts;
};

const MultipartCase cases[] = {
    {"as Chromium sends it, an empty file input left out", "----WebKitFormBoundaryEjANSmShCauUGoCA",
     "------WebKitFormBoundaryEjANSmShCauUGoCA\r\n"
     "Content-Disposition: form-data; name=\"name\"\r\n"
     "\r\n"
     "Zo\xc3\xab \"Z\" \xc5\x81ukasz\r\n"
     "------WebKitFormBoundaryEjANSmShCauUGoCA\r\n"
     "Content-Disposition: form-data; name=\"message\"\r\n"
     "\r\n"
     "Two lines\r\n"
     "and a second\r\n"
     "------WebKitFormBoundaryEjANSmShCauUGoCA\r\n"
     "Content-Disposition: form-data; name=\"cv\"; filename=\"cv r\xc3\xa9sum\xc3\xa9.pdf\"\r\n"
     "Content-Type: application/pdf\r\n"
     "\r\n"
     "%PDF-1.4\n"
     "1 0 obj<<>>endobj\n"
     "%%EOF\n"
     "\r\n"
     "------WebKitFormBoundaryEjANSmShCauUGoCA\r\n"
     "Content-Disposition: form-data; name=\"letter\"; filename=\"\"\r\n"
     "Content-Type: application/octet-stream\r\n"
     "\r\n"
     "\r\n"
     "------WebKitFormBoundaryEjANSmShCauUGoCA--\r\n",
     MultipartFault::none,
     {{"name", "Zo\xc3\xab \"Z\" \xc5\x81ukasz"},
      {"message", "Two lines\r\nand a second"},
      {"cv", "%PDF-1.4\n1 0 obj<<>>endobj\n%%EOF\n", "cv r\xc3\xa9sum\xc3\xa9.pdf"}}},
    {"the RFC's example, its own headers kept out of the value", "AaB03x",
     part("Content-Disposition: form-data; name=\"_charset_\"\r\n", "iso-8859-1") +
         part("content-disposition: form-data; name=\"field1\"\r\nContent-Type: text/plain;charset=UTF-8\r\n"
              "Content-Transfer-Encoding: quoted-printable\r\n",
              "Joe owes =E2=82=AC100.") +
         closing,
     MultipartFault::none, {{"_charset_", "iso-8859-1"}, {"field1", "Joe owes =E2=82=AC100."}}},
    {"a preamble and an epilogue, padding after a delimiter", "AaB03x",
     "ignored\r\n" + field("a", "1") + "--AaB03x \t\r\n" + std::string("Content-Disposition: form-data; name=b\r\n\r\n2\r\n") +
         "--AaB03x--\r\nignored too",
     MultipartFault::none, {{"a", "1"}, {"b", "2"}}},
    {"lines like a delimiter inside a file", "AaB03x",
     part("Content-Disposition: form-data; name=\"f\"; filename=\"a.txt\"\r\n",
          "x\r\n--AaB03xZ\r\n--AaB03x-\r\n--AaB03\r\n--AaB03x x\r\ny") +
         closing,
     MultipartFault::none, {{"f", "x\r\n--AaB03xZ\r\n--AaB03x-\r\n--AaB03\r\n--AaB03x x\r\ny", "a.txt"}}},
    {"CR LF, lone LF and lone CR inside a text", "AaB03x", field("m", "a\r\nb\nc\rd") + closing, MultipartFault::none,
     {{"m", "a\r\nb\nc\rd"}}},
    {"names as the browser escapes them, a Windows path, a name beyond ASCII", "AaB03x",
     part("Content-Disposition: form-data; name=\"a%22b%0D%0A\"; filename=\"C:\\Users\\Zo\xc3\xab\\cv.pdf\"\r\n", "%PDF-") +
         field("Zo\xc3\xab", "x") + closing,
     MultipartFault::none, {{"a%22b%0D%0A", "%PDF-", "C:\\Users\\Zo\xc3\xab\\cv.pdf"}, {"Zo\xc3\xab", "x"}}},
    {"a NUL ends a text, not a file", "AaB03x",
     field("t", std::string("a\0b", 3)) + part("Content-Disposition: form-data; name=\"f\"; filename=\"b\"\r\n",
                                                std::string("a\0b", 3)) +
         closing,
     MultipartFault::none, {{"t", "a"}, {"f", std::string("a\0b", 3), "b"}}},
    {"empty values and a file with a name and no bytes", "AaB03x",
     field("e", "") + part("Content-Disposition: form-data; name=\"f\"; filename=\"x.txt\"\r\n", "") + closing,
     MultipartFault::none, {{"e", ""}, {"f", "", "x.txt"}}},
    {"1024 parts", "AaB03x", fields(1024), MultipartFault::none, {}},
    {"1025 parts", "AaB03x", fields(1025), MultipartFault::tooManyParts, {}},
    {"no delimiter", "AaB03x", "Content-Disposition: form-data; name=\"a\"\r\n\r\n1\r\n", MultipartFault::noBoundary, {}},
    {"another boundary", "AaB03x", "--Other\r\n" + field("a", "1").substr(10), MultipartFault::noBoundary, {}},
    {"an empty body", "AaB03x", "", MultipartFault::noBoundary, {}},
    {"cut in a value", "AaB03x", field("a", "1") + "--AaB03x\r\nContent-Disposition: form-data; name=\"b\"\r\n\r\nhal",
     MultipartFault::notClosed, {}},
    {"no closing delimiter", "AaB03x", field("a", "1"), MultipartFault::notClosed, {}},
    {"cut in the closing delimiter", "AaB03x", field("a", "1") + "--AaB03x-", MultipartFault::notClosed, {}},
    {"cut in a part's headers", "AaB03x", "--AaB03x\r\nContent-Disposition: form-data; na",
     MultipartFault::headersNotEnded, {}},
    {"headers that run into the next delimiter", "AaB03x",
     "--AaB03x\r\nContent-Disposition: form-data; name=\"a\"\r\n" + field("b", "2") + closing,
     MultipartFault::headersNotEnded, {}},
    {"a part without a name", "AaB03x", part("Content-Disposition: form-data; filename=\"a.pdf\"\r\n", "x") + closing,
     MultipartFault::noName, {}},
    {"a part without headers", "AaB03x", part("", "x") + closing, MultipartFault::noName, {}},
    {"a part that is not form data", "AaB03x", part("Content-Disposition: attachment; name=\"a\"\r\n", "x") + closing,
     MultipartFault::noName, {}},
};

class Multipart : public testing::TestWithParam<MultipartCase> {};

TEST_P(Multipart, ReadsThePartsOrSaysWhyNot)
{
    const auto& c = GetParam();
    std::vector<FormPart> parts;
    EXPECT_EQ(read_multipart(c.body, c.boundary, 1024, parts), c.fault);
    if (c.fault == MultipartFault::none && !c.parts.empty()) {
        EXPECT_EQ(plain(parts), c.parts);
    }
}

INSTANTIATE_TEST_SUITE_P(Bodies, Multipart, testing::ValuesIn(cases), [](const auto& row) {
    std::string name = row.param.what;
    for (char& c : name)
        if (std::isalnum(static_cast<unsigned char>(c)) == 0)
            c = '_';
    return name;
});

TEST(MultipartBoundary, FromTheContentType)
{
    const std::string seventy(70, 'b');
    const struct {
        std::string type;
        std::optional<std::string> boundary;
    } types[] = {
        {"multipart/form-data; boundary=----WebKitFormBoundaryEjANSmShCauUGoCA", "----WebKitFormBoundaryEjANSmShCauUGoCA"},
        {"Multipart/Form-Data; BOUNDARY=\"a b:c'()+_,-./=?\"", "a b:c'()+_,-./=?"},
        {"multipart/form-data;charset=UTF-8;boundary=x", "x"},
        {"multipart/form-data; boundary=" + seventy, seventy},
        {"multipart/form-data; boundary=" + seventy + "b", ""},
        {"multipart/form-data; boundary=\"\"", ""},
        {"multipart/form-data; boundary=\"ends in a space \"", ""},
        {"multipart/form-data; boundary=a@b", ""},
        {"multipart/form-data", ""},
        {"multipart/mixed; boundary=x", std::nullopt},
        {"application/x-www-form-urlencoded", std::nullopt},
    };
    for (const auto& t : types)
        EXPECT_EQ(multipart_boundary(t.type), t.boundary) << t.type;
}

} // namespace
