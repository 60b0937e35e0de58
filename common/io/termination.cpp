#include "common/io/termination.hpp"

#include <atomic>
#include <unistd.h>

namespace at {

namespace {

constexpr int terminating_signals[] = {SIGHUP,  SIGINT,  SIGQUIT, SIGTERM,   SIGPIPE, SIGALRM,
                                       SIGUSR1, SIGUSR2, SIGXCPU, SIGVTALRM, SIGPROF};

// Hidden files that exist right now, for the handler to remove: pointers to
// the paths held by the outputs, cleared before those go.
constexpr int max_hidden = 64;
std::atomic<const char*> hidden_files[max_hidden];

sigset_t terminating_set() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal_number : terminating_signals) sigaddset(&set, signal_number);
    return set;
}

// Only async-signal-safe calls: unlink, sigaction, raise. The other
// terminating signals are held while it runs; the signal raised again is
// held too until the handler returns, and then ends the process.
extern "C" void remove_hidden_files_and_end(int signal_number) {
    for (auto& entry : hidden_files) {
        const char* path = entry.exchange(nullptr);
        if (path != nullptr) ::unlink(path);
    }
    struct sigaction default_action = {};
    default_action.sa_handler = SIG_DFL;
    sigemptyset(&default_action.sa_mask);
    ::sigaction(signal_number, &default_action, nullptr);
    ::raise(signal_number);
}

}  // namespace

void install_output_signal_handlers() {
    struct sigaction action = {};
    action.sa_handler = remove_hidden_files_and_end;
    action.sa_mask = terminating_set();
    for (const int signal_number : terminating_signals) {
        struct sigaction before;
        // A signal ignored from the start (nohup, a background job of a
        // script) is meant to be ignored by this run too.
        if (::sigaction(signal_number, nullptr, &before) == 0 && before.sa_handler == SIG_IGN) continue;
        ::sigaction(signal_number, &action, nullptr);
    }
    // Past a file size limit, write() then fails with EFBIG and is reported
    // like any other write failure instead of ending the run.
    ::signal(SIGXFSZ, SIG_IGN);
}

int remember_hidden_file(const char* path) {
    for (int slot = 0; slot < max_hidden; ++slot) {
        const char* expected = nullptr;
        if (hidden_files[slot].compare_exchange_strong(expected, path)) return slot;
    }
    return -1;
}

void forget_hidden_file(int slot) {
    if (slot >= 0) hidden_files[slot].store(nullptr);
}

TerminationHeld::TerminationHeld() {
    const sigset_t held = terminating_set();
    ::sigprocmask(SIG_BLOCK, &held, &saved_);
}

TerminationHeld::~TerminationHeld() { ::sigprocmask(SIG_SETMASK, &saved_, nullptr); }

}  // namespace at
