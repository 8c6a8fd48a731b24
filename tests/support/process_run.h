#pragma once
// Runs a program as its own process and keeps what it wrote to standard
// output and standard error apart, optionally sending it a signal once a
// given line has appeared on standard error. A program that would hang is
// killed by SIGALRM after a time, so that it fails its test instead.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace veltrop::testing {

struct ProcessRun {
    int status = -1;  // the exit status, or 128 + N when signal N ended it, as a shell reports it
    std::string out;
    std::string err;
};

struct ProcessOptions {
    // Variables to set (a value) or remove (nullopt) in the child's environment.
    std::vector<std::pair<std::string, std::optional<std::string>>> environment;
    // Send `signal` once standard error holds this whole line (without its line feed).
    std::optional<std::string> signalAfterErrorLine;
    int signal = SIGINT;
    // Runs in the child just before the program starts (resource limits, say).
    std::function<void()> inChild;
    unsigned seconds = 60;
};

inline ProcessRun runProcess(const std::string& program, const std::vector<std::string>& arguments,
                             const ProcessOptions& options = {}) {
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string variable = *entry;
        const std::string name = variable.substr(0, variable.find('='));
        bool replaced = false;
        for (const auto& [changed, value] : options.environment) replaced = replaced || changed == name;
        if (!replaced) variables.push_back(variable);
    }
    for (const auto& [name, value] : options.environment)
        if (value) variables.push_back(name + "=" + *value);
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& variable : variables) envp.push_back(variable.data());
    envp.push_back(nullptr);

    ProcessRun run;
    int out[2], err[2];
    // Close-on-exec, so that programs started at the same time from other
    // threads do not hold these pipes open.
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) return run;
    const pid_t child = fork();
    if (child < 0) return run;
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);  // the copies survive exec, the pipes themselves do not
        dup2(err[1], STDERR_FILENO);
        if (options.inChild) options.inChild();
        alarm(options.seconds);  // kept across exec
        execve(program.c_str(), argv.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);

    // Both pipes are drained together so that neither can fill up and block the child.
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&run.out, &run.err};
    bool signalled = false;
    int open = 2;
    while (open > 0) {
        if (poll(fds, 2, -1) < 0) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t count = read(fds[i].fd, buffer, sizeof buffer);
            if (count <= 0) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
                continue;
            }
            sinks[i]->append(buffer, static_cast<std::size_t>(count));
        }
        if (!signalled && options.signalAfterErrorLine &&
            (run.err.starts_with(*options.signalAfterErrorLine + "\n") ||
             run.err.find("\n" + *options.signalAfterErrorLine + "\n") != std::string::npos)) {
            kill(child, options.signal);
            signalled = true;
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
    return run;
}

}  // namespace veltrop::testing
