#pragma once
// One command of veltrop-cli: its name, help texts and handler. A new command
// is one file defining a `Command` plus one line in the table in cli.cpp.

#include <iosfwd>
#include <span>
#include <string>
#include <string_view>

namespace veltrop::cli {

struct Command;

// One run of a command: what it was given and where it writes.
struct Invocation {
    const Command& command;
    std::span<const std::string> arguments;  // after the command name
    std::ostream& out;
    std::ostream& err;

    // Prints the command's usage text to `out`; returns 0.
    int help() const;
    // Prints the message and a pointer to --help on `err`; returns 2.
    int usageError(std::string_view message) const;
};

struct Command {
    std::string_view name;
    std::string_view summary;  // one line, shown in the top-level help
    std::string_view usage;    // the whole --help text
    int (*handler)(const Invocation& invocation);
};

extern const Command formatCommand;
extern const Command formatsCommand;
extern const Command configCommand;
extern const Command inspectCommand;
extern const Command stampCommand;
extern const Command exportCommand;
extern const Command reviewCommand;
extern const Command presetsCommand;
extern const Command clocksCommand;
extern const Command verifyCommand;

// Exit statuses; a batch ended by a signal exits with 128 + its number.
inline constexpr int exitSuccess = 0;
inline constexpr int exitFailure = 1;
inline constexpr int exitUsage = 2;

}  // namespace veltrop::cli
