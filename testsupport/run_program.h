// Runs a built program as a web server runs a CGI program: a given argument
// list, an environment holding only the given variables, the request body on
// standard input; collects standard output, standard error and the status.
#pragma once

#include <string>
#include <utility>
#include <vector>

// How the body reaches the program's standard input.
enum class Feed {
    file,    // a regular file, whole from the start
    pieces,  // a socket, written by a slow writer in pieces, as servers deliver a body
};

struct Request {
    std::vector<std::string> args;  // after the program name
    std::vector<std::pair<std::string, std::string>> env;
    std::string body;
    unsigned long memoryLimit = 0;  // address-space limit in bytes; 0: none
    unsigned long fileLimit = 0;    // open-descriptor limit; 0: none
    std::vector<int> closed = {};   // standard descriptors the program starts without
    std::vector<int> ignored = {};  // signals the program starts with ignored
    std::vector<int> inherited = {};  // descriptors above 2 the program starts with open, as a server may leave them
    Feed feed = Feed::file;
    std::string dir = {};  // the program's working folder; empty: the test's own
};

struct Outcome {
    std::string out;
    std::string err;
    int status = -1;      // exit status, or -1 when killed by a signal
    int signal = 0;       // the signal that ended it, if any
    // Fed in pieces: the program ended with part of the body unread, which
    // makes a server that passes the body over a socket (Apache's mod_cgid)
    // lose the answer to a reset.
    bool bodyLeftUnread = false;
};

Outcome run_program(const std::string& path, const Request& request);

// A fresh empty folder under the system's temporary folder, removed with all
// it holds when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    // The path of `name` inside the folder.
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The whole content of a file; empty when it cannot be read.
std::string read_file(const std::string& path);

// True when the file exists.
bool file_exists(const std::string& path);
