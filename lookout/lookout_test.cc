// lookout run as a web server runs it: one row a browser's name.

#include <string>

#include "lookout/expected.h"
#include "testsupport/request_table.h"

namespace {

RequestCase named(const char* agent, const std::string& shown)
{
    Env env;
    if (agent != nullptr)
        env.emplace_back("HTTP_USER_AGENT", agent);
    return {{}, env, "", lookout_page(shown)};
}

const RequestRow rows[] = {
    {"a browser", [] { return named("Mozilla/5.0 (X11; Linux x86_64)", "Mozilla/5.0 (X11; Linux x86_64)"); }},
    {"markup escaped", [] { return named("Evil<script>&\"'", "Evil&lt;script&gt;&amp;&quot;&#39;"); }},
    {"empty", [] { return named("", ""); }},
    {"not set", [] { return named(nullptr, "(unknown)"); }},
};

class Lookout : public testing::TestWithParam<RequestParam> {};

TEST_P(Lookout, NamesTheBrowser)
{
    expect_request(LOOKOUT_PATH, std::get<0>(GetParam()).make(), std::get<1>(GetParam()));
}

INSTANTIATE_TEST_SUITE_P(Requests, Lookout, REQUEST_ROWS(rows));

} // namespace
