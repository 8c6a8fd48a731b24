#pragma once
// What the benchmarks share: clocks, best-of timing, the photo folder, a
// scratch folder, a child's peak memory and the figure-next-to-target line.

#include <filesystem>
#include <functional>

namespace veltrop::bench {

double threadSeconds();   // CPU time of the calling thread
double processSeconds();  // CPU time of the whole process, all threads
double wallSeconds();     // monotonic

// The shortest of `rounds` runs of work as measured by `clock`; -1 when a run fails.
double best(int rounds, const std::function<bool()>& work, double (*clock)() = threadSeconds);

// The folder named on the command line, else $VELTROP_CORPUS; empty (after a
// usage line on stderr) when neither names a folder.
std::filesystem::path photoFolder(int argc, char** argv);

// A fresh folder under the system's temporary folder, removed with its contents.
class Scratch {
public:
    Scratch();
    ~Scratch();
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// Peak resident kilobytes of a forked child that runs work; -1 when it fails.
long childPeakKilobytes(const std::function<bool()>& work);

// Wall seconds of a forked child that runs work, from the fork to its end;
// -1 when it fails. A fresh process competes for the cores as a program
// started from the shell does.
double childWallSeconds(const std::function<bool()>& work);

// "what   value unit   target <= t" and "(missed)" when over the target.
void row(const char* what, double value, const char* unit, double target);

// True when the shell finds the program.
bool hasProgram(const char* name);

}  // namespace veltrop::bench
