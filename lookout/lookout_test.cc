// lookout run as a web server runs it.

#include <gtest/gtest.h>

#include <string>

#include "lookout/expected.h"
#include "testsupport/run_program.h"

namespace {

TEST(Lookout, NamesTheBrowser)
{
    const struct {
        const char* agent;  // nullptr: not set
        std::string line;
    } cases[] = {
        {"Mozilla/5.0 (X11; Linux x86_64)", "Mozilla/5.0 (X11; Linux x86_64)"},
        {"Evil<script>&\"'", "Evil&lt;script&gt;&amp;&quot;&#39;"},
        {"", ""},
        {nullptr, "(unknown)"},
    };
    for (const auto& c : cases) {
        std::vector<std::pair<std::string, std::string>> env;
        if (c.agent != nullptr)
            env.emplace_back("HTTP_USER_AGENT", c.agent);
        const Outcome r = run_program(LOOKOUT_PATH, {{}, env, ""});
        EXPECT_EQ(r.out, lookout_page(c.line));
        EXPECT_EQ(r.status, 0);
    }
}

} // namespace
