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
