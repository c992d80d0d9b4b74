#include "folio/screen.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct LineCase {
    std::string line;
    std::size_t longest;
    std::size_t shortest;
    int answer;
};

class ValidLine : public testing::TestWithParam<LineCase> {};

TEST_P(ValidLine, Answers)
{
    const auto& c = GetParam();
    EXPECT_EQ(valid_line(c.line, c.longest, c.shortest), c.answer) << c.line;
}

INSTANTIATE_TEST_SUITE_P(Lengths, ValidLine, testing::Values(
    LineCase{"", 10, 0, 1},
    LineCase{"", 10, 1, 0},
    LineCase{"abcde", 5, 0, 1},
    LineCase{"abcdef", 5, 0, 0},
    LineCase{"abc", 10, 3, 1},
    LineCase{"ab", 10, 3, 0},
    LineCase{std::string("ab\0cdefgh", 9), 5, 0, 1}));  // the text ends at NUL

INSTANTIATE_TEST_SUITE_P(Controls, ValidLine, testing::Values(
    LineCase{"a\tb", 80, 0, 0},
    LineCase{"a\rb", 80, 0, 0},
    LineCase{"a\nb", 80, 0, 0},
    LineCase{"\x01", 80, 0, 0},
    LineCase{"\x1f", 80, 0, 0},
    LineCase{"\x7f", 80, 0, 0},
    LineCase{" ~", 80, 0, 1},
    LineCase{"Zo\xc3\xab \x80\xff", 80, 0, 1}));

INSTANTIATE_TEST_SUITE_P(Forbidden, ValidLine, testing::Values(
    LineCase{"a</ul>", 80, 0, 0}, LineCase{"<Li>x", 80, 0, 0}, LineCase{"run.Exe", 80, 0, 0},
    LineCase{"/cgi-bin", 80, 0, 0}, LineCase{"cGi", 80, 0, 0}, LineCase{"</html", 80, 0, 0},
    LineCase{"</Body>", 80, 0, 0}, LineCase{"<form action=x>", 80, 0, 0},
    LineCase{"<!--#exec cmd", 80, 0, 0}, LineCase{"#Exec", 80, 0, 0}, LineCase{"cmd=ls", 80, 0, 0},
    LineCase{"<meta http-equiv", 80, 0, 0}, LineCase{"</title>", 80, 0, 0},
    LineCase{"<TiTlE>", 80, 0, 0}, LineCase{"<address>", 80, 0, 0},
    LineCase{"<base href=x>", 80, 0, 0}, LineCase{"<link rev=made>", 80, 0, 0},
    LineCase{"<!-- c -->", 80, 0, 0}, LineCase{"a!-b", 80, 0, 0}, LineCase{"command=x", 80, 0, 0},
    LineCase{"logic", 80, 0, 1}, LineCase{"<address", 80, 0, 1}, LineCase{"<base", 80, 0, 1},
    LineCase{"I like <b>bold</b> text & more", 80, 0, 1}));

struct ReplaceCase {
    std::string text;
    std::string pattern;
    std::string replacement;
    std::string result;
};

class Snr : public testing::TestWithParam<ReplaceCase> {};

TEST_P(Snr, ReplacesLeftToRight)
{
    std::string s = GetParam().text;
    EXPECT_EQ(snr(s, GetParam().pattern, GetParam().replacement), &s);
    EXPECT_EQ(s, GetParam().result);
}

INSTANTIATE_TEST_SUITE_P(Texts, Snr, testing::Values(
    ReplaceCase{"aaa", "aa", "b", "ba"},
    ReplaceCase{"aaaa", "aa", "b", "bb"},
    ReplaceCase{"abc", "b", "bbb", "abbbc"},     // the replacement is not searched again
    ReplaceCase{"xx", "x", "xx", "xxxx"},
    ReplaceCase{"abc", "", "z", "abc"},           // empty pattern: unchanged
    ReplaceCase{"abc", "d", "zz", "abc"},
    ReplaceCase{"", "a", "b", ""},
    ReplaceCase{"a-b-c", "-", "", "abc"},
    ReplaceCase{"<<<", "<", "&lt", "&lt&lt&lt"},
    ReplaceCase{std::string(1000, 'a'), "a", std::string(100, 'b'), std::string(100000, 'b')}));

TEST(Entities, ConvertBothWays)
{
    const struct {
        std::string plain;
        std::string entities;
    } cases[] = {
        {"a<b>\"c\"", "a&ltb&gt&qtc&qt"},
        {"", ""},
        {"no markup & here", "no markup & here"},
        {"<<>>", "&lt&lt&gt&gt"},
        {"5 > 3 < 4 \"q\"", "5 &gt 3 &lt 4 &qtq&qt"},
    };
    for (const auto& c : cases) {
        std::string s = c.plain;
        EXPECT_EQ(xtoe(s), 1);
        EXPECT_EQ(s, c.entities);
        EXPECT_EQ(etox(s), 1);
        EXPECT_EQ(s, c.plain);
    }
}

TEST(Entities, EtoxOfEntityTexts)
{
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"&lt;", "<;"},
        {"&quot;", "&quot;"},   // only the three texts of the table
        {"&qt&lt&gt", "\"<>"},
        {"&amp;lt", "&amp;lt"},
        {"&&ltlt", "&<lt"},
    };
    for (const auto& c : cases) {
        std::string s = c.in;
        EXPECT_EQ(etox(s), 1);
        EXPECT_EQ(s, c.out) << c.in;
    }
}

TEST(Upper, PosixLettersOnly)
{
    std::string s = "abc xyz ABC 09 \xc3\xab\xff!~`{";
    upper(s);
    EXPECT_EQ(s, "ABC XYZ ABC 09 \xc3\xab\xff!~`{");
}

} // namespace
