#pragma once
// Runs a command line in-process, or the real veltrop-cli program, and keeps
// what it printed.

#include <sstream>
#include <string>
#include <vector>

#include "cli/cli.h"
#include "support/process_run.h"

namespace veltrop::testing {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

inline CliRun runCli(const std::vector<std::string>& arguments) {
    std::ostringstream out, err;
    const int status = cli::run(arguments, out, err);
    return {status, out.str(), err.str()};
}

// The built veltrop-cli as its own process: real exit status, signals, streams.
inline ProcessRun runBinary(const std::vector<std::string>& arguments, const ProcessOptions& options = {}) {
    return runProcess(VELTROP_CLI_PATH, arguments, options);
}

inline bool contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

}  // namespace veltrop::testing
