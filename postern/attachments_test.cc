#include "postern/attachments.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const FileKind& kind(std::string_view extension)
{
    return *kind_of_name("x." + std::string(extension), ~0U);
}

// What a file's first bytes must be: the signature of its kind, or for a
// text, UTF-8 (RFC 3629) without a NUL byte.
TEST(Attachments, BytesAreWhatTheNameSays)
{
    const struct {
        const char* what;
        const char* extension;
        std::string bytes;
        bool taken;
    } cases[] = {
        {"a PDF", "pdf", "%PDF-1.7", true},
        {"a PDF's signature cut short", "pdf", "%PDF", false},
        {"a PDF in lower case", "pdf", "%pdf-1.7", false},
        {"a compound document", "doc", "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", true},
        {"a ZIP as docx", "docx", "PK\x03\x04", true},
        {"an empty text", "txt", "", true},
        {"ASCII", "txt", "plain\r\ntext\t", true},
        {"letters of two, three and four bytes", "txt", "\xc3\xab\xe2\x82\xac\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf", true},
        {"a NUL", "txt", std::string("a\0b", 3), false},
        {"Latin-1", "txt", "caf\xe9", false},
        {"an overlong slash", "txt", "\xc0\xaf", false},
        {"an overlong of three bytes", "txt", "\xe0\x80\xaf", false},
        {"a surrogate", "txt", "\xed\xa0\x80", false},
        {"past U+10FFFF", "txt", "\xf4\x90\x80\x80", false},
        {"a letter cut at the end", "txt", "\xe2\x82", false},
        {"a continuation byte alone", "txt", "\x80", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(begins_as(kind(c.extension), c.bytes), c.taken) << c.what;
}

TEST(Attachments, KindAndNameOfAFile)
{
    EXPECT_EQ(last_component("C:\\Users\\zoe\\cv.pdf"), "cv.pdf");
    EXPECT_EQ(last_component("/home/zoe/cv.pdf"), "cv.pdf");
    EXPECT_EQ(last_component("cv.pdf"), "cv.pdf");
    EXPECT_EQ(kind_of_name("CV.Pdf", kindBit(0)), &fileKinds[0]);
    EXPECT_EQ(kind_of_name("cv.pdf.exe", ~0U), nullptr);
    EXPECT_EQ(kind_of_name("pdf", ~0U), nullptr);
    EXPECT_EQ(kind_of_name("cv.docx", kindBit(0)), nullptr);  // a kind the form does not take
}

} // namespace
