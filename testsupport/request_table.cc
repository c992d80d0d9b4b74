#include "testsupport/request_table.h"

#include <algorithm>
#include <cctype>
#include <fstream>

Env request(const std::string& length, const std::string& type, const std::string& method)
{
    return {{"REQUEST_METHOD", method}, {"CONTENT_TYPE", type}, {"CONTENT_LENGTH", length}};
}

Env post(const std::string& body)
{
    return request(std::to_string(body.size()));
}

void use_mailbox(Request& request, const TempDir& mailbox, const std::string& mode)
{
    request.dir = mailbox.path();
    if (!mode.empty())
        std::ofstream(mailbox / "mode") << mode;
}

void expect_request(const char* program, const RequestCase& c, Feed feed)
{
    const TempDir mailbox;
    Request r{c.args, c.env, c.body};
    use_mailbox(r, mailbox, c.mailerMode);
    r.feed = feed;
    const Outcome out = run_program(c.program != nullptr ? c.program : program, r);
    EXPECT_TRUE(out.out == c.page) << "page differs:\n" << out.out.substr(0, 2000);
    EXPECT_EQ(out.status, c.status);
    EXPECT_EQ(out.err, c.log);
    const bool trueLength = std::find(c.env.begin(), c.env.end(),
        std::pair<std::string, std::string>("CONTENT_LENGTH", std::to_string(c.body.size()))) != c.env.end();
    if (feed == Feed::pieces && trueLength) {
        EXPECT_FALSE(out.bodyLeftUnread);
    }
    EXPECT_EQ(file_exists(mailbox / "args"), c.mail.has_value());
    if (c.mail) {
        EXPECT_EQ(read_file(mailbox / "args"), c.mailerArgs);
        EXPECT_EQ(read_file(mailbox / "environment"), mailer_environment);
        EXPECT_TRUE(read_file(mailbox / "message") == *c.mail) << "mail differs:\n"
                                                             << read_file(mailbox / "message").substr(0, 2000);
    }
}

std::vector<RequestParam> request_params(const std::vector<RequestRow>& rows, bool portable)
{
    std::vector<RequestParam> params;
    for (const auto& row : rows) {
        if (portable && (row.runs & portableToo) == 0)
            continue;
        params.emplace_back(row, Feed::file);
        if ((row.runs & once) == 0)
            params.emplace_back(row, Feed::pieces);
    }
    return params;
}

std::string test_name(std::string words)
{
    for (char& c : words)
        if (std::isalnum(static_cast<unsigned char>(c)) == 0)
            c = '_';
    return words;
}

std::string request_name(const testing::TestParamInfo<RequestParam>& info)
{
    return test_name(std::get<0>(info.param).what) + (std::get<1>(info.param) == Feed::file ? "_file" : "_pieces");
}
