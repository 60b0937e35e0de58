#pragma once
// What a signal that ends the process does to the run's outputs. The
// catchable signals whose default action ends a process (HUP, INT, QUIT,
// TERM, PIPE, ALRM, USR1, USR2, XCPU, VTALRM, PROF) first remove the hidden
// files that unfinished outputs have in their folders, then end the process
// with the signal's own status. A signal that the run was started with
// ignored stays ignored.

#include <signal.h>

namespace at {

// Installs the handlers, and turns SIGXFSZ into a write error (EFBIG).
void install_output_signal_handlers();

// A hidden file for the handler to remove. The path must stay unchanged in
// memory until it is forgotten. Returns a slot, -1 when all are taken.
int remember_hidden_file(const char* path);
void forget_hidden_file(int slot);

// Holds back the terminating signals while it lives, so that the few system
// calls that put the outputs in place are not cut in two: a signal that
// arrives meanwhile takes effect when the hold ends.
class TerminationHeld {
public:
    TerminationHeld();
    ~TerminationHeld();
    TerminationHeld(const TerminationHeld&) = delete;
    TerminationHeld& operator=(const TerminationHeld&) = delete;

private:
    sigset_t saved_;
};

}  // namespace at
