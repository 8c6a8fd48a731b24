#include "cli/interruption.h"

#include <signal.h>

#include <atomic>

namespace veltrop::cli {

namespace {

// Only lock-free atomics are touched in the handler.
std::atomic<exporting::BatchProcessor*> interruptible{nullptr};
std::atomic<int> received{0};
struct sigaction previousInterrupt {};
struct sigaction previousTerminate {};

extern "C" void onSignal(int number) {
    received.store(number);
    if (auto* processor = interruptible.load()) processor->cancel();
}

void install(int number, struct sigaction& previous) {
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;  // the next one takes the default action: the program ends
    ::sigaction(number, &action, &previous);
}

}  // namespace

BatchInterruption::BatchInterruption(exporting::BatchProcessor& processor) {
    static_assert(std::atomic<exporting::BatchProcessor*>::is_always_lock_free);
    static_assert(std::atomic<int>::is_always_lock_free);
    received.store(0);
    interruptible.store(&processor);
    install(SIGINT, previousInterrupt);
    install(SIGTERM, previousTerminate);
}

BatchInterruption::~BatchInterruption() {
    ::sigaction(SIGINT, &previousInterrupt, nullptr);
    ::sigaction(SIGTERM, &previousTerminate, nullptr);
    interruptible.store(nullptr);
}

std::optional<int> BatchInterruption::signal() const {
    const int number = received.load();
    return number == 0 ? std::nullopt : std::optional(number);
}

}  // namespace veltrop::cli
