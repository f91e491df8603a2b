// Runs a shell command as a child process and collects its exit status,
// standard output and standard error (tests of command-line tools).
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace zo::test {

struct ProcessResult {
    int status = -1;  // exit status, -1 if it did not exit normally
    std::string out;
    std::string err;
};

// Runs `command` through the shell with stdin from /dev/null; standard error
// goes through `errFile`.
inline ProcessResult RunProcess(const std::string& command, const std::filesystem::path& errFile) {
    ProcessResult r;
    const std::string full = command + " 2>" + errFile.string() + " </dev/null";
    FILE* pipe = ::popen(full.c_str(), "r");
    if (!pipe)
        return r;
    std::array<char, 65536> chunk;
    size_t n = 0;
    while ((n = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0)
        r.out.append(chunk.data(), n);
    const int status = ::pclose(pipe);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(errFile);
    r.err.assign(std::istreambuf_iterator<char>(in), {});
    return r;
}

}  // namespace zo::test
