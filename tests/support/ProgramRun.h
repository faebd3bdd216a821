#pragma once
// Runs a program as a user starts it from a shell, with nothing on its
// standard input, and keeps what it prints (standard output and error).

#include "tests/support/TestSupport.h"

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace KelvraTest {

struct ProgramRun {
    int exitCode = -1; // -1: it did not exit by itself
    std::string output;
};

inline ProgramRun runProgram(const std::string& commandLine)
{
    const std::string command = commandLine + " </dev/null 2>&1";
    ProgramRun run;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.output.append(buffer, n);
    const int status = pclose(pipe);
    if (WIFEXITED(status))
        run.exitCode = WEXITSTATUS(status);
    return run;
}

// The same, killed after `seconds` (grown by timeFactor()): a program that
// hangs fails its test rather than stalling the suite.
inline ProgramRun runProgramWithin(int seconds, const std::string& commandLine)
{
    return runProgram("timeout -s KILL " + std::to_string(budget(seconds)) + " " + commandLine);
}

} // namespace KelvraTest
