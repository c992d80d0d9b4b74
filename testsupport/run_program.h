// Runs a built program as a web server runs a CGI program: a given argument
// list, an environment holding only the given variables, the request body on
// standard input; collects standard output, standard error and the status.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct Request {
    std::vector<std::string> args;  // after the program name
    std::vector<std::pair<std::string, std::string>> env;
    std::string body;
    unsigned long memoryLimit = 0;  // address-space limit in bytes; 0: none
    unsigned long fileLimit = 0;    // open-descriptor limit; 0: none
    std::vector<int> closed = {};   // standard descriptors the program starts without
    std::vector<int> ignored = {};  // signals the program starts with ignored
};

struct Outcome {
    std::string out;
    std::string err;
    int status = -1;      // exit status, or -1 when killed by a signal
    int signal = 0;       // the signal that ended it, if any
};

Outcome run_program(const std::string& path, const Request& request);

// A fresh empty folder under the system's temporary folder.
std::string make_temp_dir();

// The whole content of a file; empty when it cannot be read.
std::string read_file(const std::string& path);

// True when the file exists.
bool file_exists(const std::string& path);
