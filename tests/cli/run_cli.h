#pragma once
// Runs the built tarnel-cli as a child process.
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace tarnel::test {

struct Outcome {
    int status = -1;
    std::string out, err;
};

inline std::string ShellQuote(const std::string& s)
{
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline Outcome RunCli(const std::vector<std::string>& args, const std::string& scratch)
{
    std::string command = std::string(TARNEL_BIN_DIR) + "/tarnel-cli";
    for (const auto& a : args) command += " " + ShellQuote(a);
    const std::string errFile = scratch + "/stderr.txt";
    command += " 2>" + ShellQuote(errFile);
    Outcome o;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) o.out.append(buffer, n);
    int raw = pclose(pipe);
    o.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream in(errFile);
    o.err.assign(std::istreambuf_iterator<char>(in), {});
    return o;
}

} // namespace tarnel::test
