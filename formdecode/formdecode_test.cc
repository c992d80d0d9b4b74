#include "formdecode/formdecode.h"
#include "formdecode/reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

using Fields = std::vector<std::pair<std::string, std::string>>;

struct Read {
    Fields fields;
    int counter;
};

// The two programs' reading loops: the mail gateway reads while the counter
// is above 0 and decodes each field before the split, in blocks of 1024
// bytes; the echo page reads while the counter is not 0, decodes nothing,
// and grows its buffers by 102400 bytes.
enum class Reader { postern, folio };

// Reads a whole body field by field as `reader` does.
Read read_body(const std::string& body, int counter, Reader reader)
{
    const bool postern = reader == Reader::postern;
    std::FILE* in = std::tmpfile();
    std::fwrite(body.data(), 1, body.size(), in);
    std::rewind(in);
    Read result{{}, counter};
    while ((postern ? result.counter > 0 : result.counter != 0) && !at_end(in)) {
        std::string value = fmakeword(in, '&', result.counter, postern ? 1024 : 102400);
        if (postern) {
            plustospace(value);
            unescape_url(value);
        }
        std::string name = makeword(value, '=');
        result.fields.emplace_back(name, value);
    }
    std::fclose(in);
    return result;
}

struct BodyCase {
    const char* what;
    std::string body;
    int counter;
    Reader reader;
    Fields fields;
    int counterAfter;
};

class Reading : public testing::TestWithParam<BodyCase> {};

TEST_P(Reading, YieldsFieldsAndCounter)
{
    const auto& c = GetParam();
    const Read got = read_body(c.body, c.counter, c.reader);
    EXPECT_EQ(got.fields, c.fields);
    EXPECT_EQ(got.counter, c.counterAfter);
}

INSTANTIATE_TEST_SUITE_P(Bodies, Reading, testing::Values(
    BodyCase{"two fields", "a=1&b=2", 7, Reader::postern, {{"a", "1"}, {"b", "2"}}, 0},
    BodyCase{"no equals sign", "abc", 3, Reader::postern, {{"abc", ""}}, 0},
    BodyCase{"empty value", "a=", 2, Reader::postern, {{"a", ""}}, 0},
    BodyCase{"empty name", "=x", 2, Reader::postern, {{"", "x"}}, 0},
    BodyCase{"second equals kept", "a=b=c", 5, Reader::postern, {{"a", "b=c"}}, 0},
    BodyCase{"two ampersands", "a=1&&b=2", 8, Reader::postern, {{"a", "1"}, {"", ""}, {"b", "2"}}, 0},
    BodyCase{"counter short of body", "a=1&b=2", 3, Reader::postern, {{"a", "1"}}, 0},
    BodyCase{"counter stops mid-field", "ab=12&c=3", 4, Reader::postern, {{"ab", "1"}}, 0},
    BodyCase{"counter past body", "a=1&b=2", 100, Reader::postern, {{"a", "1"}, {"b", "2"}}, 92},
    BodyCase{"trailing ampersand", "a=1&", 10, Reader::postern, {{"a", "1"}, {"", ""}}, 5},
    BodyCase{"empty body", "", 5, Reader::postern, {{"", ""}}, 4},
    BodyCase{"negative counter", "a=1&b=2", -1, Reader::folio, {{"a", "1"}, {"b", "2"}}, -9},
    BodyCase{"field over one block", "f=" + std::string(3000, 'x'), 3002, Reader::postern,
             {{"f", std::string(3000, 'x')}}, 0},
    BodyCase{"raw NUL ends the field", std::string("a=x\0y&b=2", 9), 9, Reader::postern, {{"a", "x"}, {"b", "2"}}, 0},
    BodyCase{"raw NUL in a name", std::string("a\0b=c", 5), 5, Reader::folio, {{"a", ""}}, 0},
    BodyCase{"hex digits either case", "%41=%4a%4A", 10, Reader::postern, {{"A", "JJ"}}, 0},
    BodyCase{"plus then percent", "a=1+2%2B3", 9, Reader::postern, {{"a", "1 2+3"}}, 0},
    BodyCase{"encoded equals splits", "k%3Dv=w", 7, Reader::postern, {{"k", "v=w"}}, 0},
    BodyCase{"encoded ampersand stays", "a=x%26y", 7, Reader::postern, {{"a", "x&y"}}, 0},
    BodyCase{"%00 cuts the value", "a=x%00y", 7, Reader::postern, {{"a", "x"}}, 0},
    BodyCase{"%00 in the name", "n%00m=v", 7, Reader::postern, {{"n", ""}}, 0},
    BodyCase{"lone percent at end", "a=%", 3, Reader::postern, {{"a", "%"}}, 0},
    BodyCase{"percent and one digit", "a=%4", 4, Reader::postern, {{"a", "%4"}}, 0},
    BodyCase{"echo page decodes nothing", "First+Name=Jo%20Ann", 19, Reader::folio, {{"First+Name", "Jo%20Ann"}}, 0}),
    [](const auto& param_info) {
        std::string name = param_info.param.what;
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name;
    });

TEST(Fmakeword, StopsAtCounterWithoutReadingFurther)
{
    char body[] = "abcdef";
    std::FILE* in = fmemopen(body, 6, "r");
    int counter = 2;
    EXPECT_EQ(fmakeword(in, '&', counter, 4), "ab");
    EXPECT_EQ(std::getc(in), 'c');  // the rest of the body is never read
    std::fclose(in);
}

TEST(Fmakeword, LastByteDoesNotSetEndOfInput)
{
    char body[] = "ab";
    std::FILE* in = fmemopen(body, 2, "r");
    int counter = 2;
    EXPECT_EQ(fmakeword(in, '&', counter, 4), "ab");
    EXPECT_FALSE(at_end(in));
    std::fclose(in);
}

TEST(Fmakeword, LargeFieldWithSmallBlock)
{
    std::string body(5 << 20, 'q');
    std::FILE* in = fmemopen(body.data(), body.size(), "r");
    int counter = -1;
    EXPECT_EQ(fmakeword(in, '&', counter, 1).size(), body.size());
    std::fclose(in);
}

struct HexCase {
    const char* digits;
    unsigned char byte;
};

class X2c : public testing::TestWithParam<HexCase> {};

TEST_P(X2c, FollowsTheDigitRule)
{
    EXPECT_EQ(static_cast<unsigned char>(x2c(GetParam().digits)), GetParam().byte);
}

INSTANTIATE_TEST_SUITE_P(Digits, X2c, testing::Values(
    HexCase{"41", 0x41}, HexCase{"4a", 0x4A}, HexCase{"4A", 0x4A},
    HexCase{"ff", 0xFF}, HexCase{"00", 0x00}, HexCase{"7e", 0x7E},
    HexCase{"zz", 0x53},       // 'z' gives 35: 35 * 16 + 35 = 595, low byte 0x53
    HexCase{"G0", 0x00},       // 'G' gives 16: 256, low byte 0
    HexCase{"\xff" "0", 0xF0}, // a negative byte takes ch - 48: -49 * 16 = -784
    HexCase{"0\x80", 0x50}));  // -128 - 48 = -176, low byte 0x50

struct SplitCase {
    std::string line;
    char stop;
    std::string word;
    std::string rest;
};

class Makeword : public testing::TestWithParam<SplitCase> {};

TEST_P(Makeword, SplitsAtFirstStop)
{
    const auto& c = GetParam();
    std::string line = c.line;
    EXPECT_EQ(makeword(line, c.stop), c.word);
    EXPECT_EQ(line, c.rest);

    std::string again = c.line;
    std::string word = "old";
    getword(word, again, c.stop);
    EXPECT_EQ(word, c.word);
    EXPECT_EQ(again, c.rest);
}

INSTANTIATE_TEST_SUITE_P(Lines, Makeword, testing::Values(
    SplitCase{"a=b", '=', "a", "b"},
    SplitCase{"a=b=c", '=', "a", "b=c"},
    SplitCase{"abc", '=', "abc", ""},
    SplitCase{"=", '=', "", ""},
    SplitCase{"", '=', "", ""},
    SplitCase{"x&y", '&', "x", "y"}));

struct DecodeCase {
    std::string in;
    std::string unescaped;
    std::string spaced;
};

class Decoding : public testing::TestWithParam<DecodeCase> {};

TEST_P(Decoding, InPlace)
{
    std::string u = GetParam().in;
    unescape_url(u);
    EXPECT_EQ(u, GetParam().unescaped);
    std::string p = GetParam().in;
    plustospace(p);
    EXPECT_EQ(p, GetParam().spaced);
}

INSTANTIATE_TEST_SUITE_P(Texts, Decoding, testing::Values(
    DecodeCase{"", "", ""},
    DecodeCase{"a+b", "a+b", "a b"},
    DecodeCase{"%2B+", "++", "%2B "},
    DecodeCase{"%25%34%31", "%41", "%25%34%31"},  // decoded once, never again
    DecodeCase{"%", "%", "%"},
    DecodeCase{"x%4", "x%4", "x%4"},
    DecodeCase{"%%41", "T1", "%%41"},              // "%4": -11 * 16 + 4, low byte 0x54
    DecodeCase{"ab%00cd", "ab", "ab%00cd"},
    DecodeCase{std::string("a+\0+b", 5), "a+", std::string("a \0 b", 5)}));

} // namespace

namespace {

// unescape_url moves the text between percent signs as runs: over texts
// dense and sparse with escapes, percent signs near the end and decoded
// NULs, it gives what the one-byte rule gives.
TEST(UnescapeUrl, AgreesWithByteByByteDecoding)
{
    std::mt19937 random(20261209);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same texts every run
    const std::string alphabets[] = {"%41aZ", "abcdefghij%4", std::string("%0aF+x\0", 7), "xyz"};
    for (int round = 0; round < 4000; ++round) {
        const std::string& alphabet = alphabets[random() % std::size(alphabets)];
        std::string text(random() % 120, ' ');
        for (char& c : text)
            c = alphabet[random() % alphabet.size()];
        std::string decoded = text;
        unescape_url(decoded);
        ASSERT_EQ(decoded, unescaped_byte_by_byte(text)) << text;
    }
}

// Whatever stdio's buffer size, fmakeword takes exactly the bytes, and counts
// exactly the reads, of a byte-at-a-time reader: words, counter, position and
// end of input agree after every word.
TEST(Fmakeword, AgreesWithByteByByteReading)
{
    std::mt19937 random(20261208);  // NOLINT(cert-msc32-c,cert-msc51-cpp): the same bodies every run
    const char alphabet[] = "ab=&&%+\0x";
    for (int round = 0; round < 2000; ++round) {
        std::string body(random() % 200, ' ');
        for (char& c : body)
            c = alphabet[random() % (sizeof alphabet - 1)];
        const int start = static_cast<int>(random() % 240) - 20;
        const std::size_t bufferSize = 1 + random() % 16;
        char bufferA[16];
        char bufferB[16];
        std::FILE* a = stream_of(body, bufferA, bufferSize);
        std::FILE* b = stream_of(body, bufferB, 16);
        int clA = start;
        int clB = start;
        for (int word = 0; word < 300 && clA != 0 && !at_end(a); ++word) {
            ASSERT_EQ(fmakeword(a, '&', clA, 4), byte_by_byte(b, '&', clB)) << body << " counter " << start;
            ASSERT_EQ(clA, clB);
            ASSERT_EQ(std::ftell(a), std::ftell(b));
            ASSERT_EQ(at_end(a), std::feof(b) != 0);
        }
        std::fclose(a);
        std::fclose(b);
    }
}

} // namespace
