#pragma once
// The command-line front end as a function, so that tests can run commands
// without starting a process.

#include <iosfwd>
#include <string>
#include <vector>

namespace veltrop::cli {

// Runs one command line (without the program name). Returns the exit status:
// 0 success, 1 failure, 2 usage error, 128 + N for an export ended by signal N.
int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);

}  // namespace veltrop::cli
