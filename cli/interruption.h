#pragma once
// Ctrl-C (SIGINT) and SIGTERM while a batch runs cancel it: photos in flight
// finish, the rest are left, and the summary is still printed. A second
// signal of the same kind ends the program at once.

#include <optional>

#include "kit/export/batch_processor.h"

namespace veltrop::cli {

class BatchInterruption {
public:
    // Catches the signals until destroyed, then restores what was there.
    explicit BatchInterruption(exporting::BatchProcessor& processor);
    ~BatchInterruption();
    BatchInterruption(const BatchInterruption&) = delete;
    BatchInterruption& operator=(const BatchInterruption&) = delete;

    // The signal that arrived, if any.
    std::optional<int> signal() const;
};

// The shell's convention for a program ended by a signal: 128 + its number.
inline int exitStatusForSignal(int signal) { return 128 + signal; }

}  // namespace veltrop::cli
