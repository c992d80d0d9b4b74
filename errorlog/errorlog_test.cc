#include "errorlog/errorlog.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(LogQuoted, NothingFromTheRequestCanShapeTheLog)
{
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        {"GET", "\"GET\""},
        {"", "\"\""},
        {"a\nmain: forged line\r", "\"a\\x0Amain: forged line\\x0D\""},
        {"tab\there, bell\a, delete\x7f", "\"tab\\x09here, bell\\x07, delete\\x7F\""},
        {"Zo\xc3\xab", "\"Zo\\xC3\\xAB\""},
        {"say \"hi\" \\x41", "\"say \\x22hi\\x22 \\x5Cx41\""},
        {std::string(200, 'a'), "\"" + std::string(200, 'a') + "\""},
        {std::string(201, 'a'), "\"" + std::string(200, 'a') + "\"..."},
        {std::string(199, 'a') + "\n\n", "\"" + std::string(199, 'a') + "\\x0A\"..."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(log_quoted(c.text), c.shown);
}

} // namespace
