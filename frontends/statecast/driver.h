// The statecast program: the command line, the file names, and the phases
// of one run from the IF text to the written net and side files.
#pragma once

#include <string>
#include <vector>

namespace statecast {

// Reads the command line into the settings; prints the usage or the
// unknown-flag message and returns 1 when it is not right, else 0.
int read_command_line(const std::vector<std::string>& args);

// One whole run after the command line was read; returns the exit status
// (fatal diagnostics end the process themselves).
int run();

// The usage text with the version line.
extern const char* const usage_text;

}  // namespace statecast
