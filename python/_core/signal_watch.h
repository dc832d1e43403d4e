// Ctrl-C during a long compiled pass: the question the pass asks between its
// pieces, with Python's lock released, and the pass run that way.
#pragma once

#include <pybind11/pybind11.h>

#include <chrono>
#include <functional>

// Python runs a signal's handler only when the main thread gets back to
// Python; a pass that keeps it for seconds must ask. Made with the lock held;
// afterwards raised says whether a handler raised (KeyboardInterrupt, say),
// the exception then waiting in Python's error indicator.
struct SignalWatch {
    std::chrono::steady_clock::time_point next_check;
    bool may_receive = true;  // until found to be off the main thread
    bool raised = false;
};

SignalWatch start_signal_watch();

// The pass's stop_requested: at most every 50 ms, takes the lock back and
// runs the handlers of signals received since. Off the main thread, where no
// handler runs, it asks once and never again.
std::function<bool()> signal_raised(SignalWatch& watch);

// Runs pass(stop_requested) without Python's lock, watching for Ctrl-C, and
// raises in Python what a signal's handler raised meanwhile.
template <typename Pass>
void run_unlocked(Pass pass) {
    SignalWatch watch = start_signal_watch();
    {
        pybind11::gil_scoped_release unlocked;
        pass(signal_raised(watch));
    }
    if (watch.raised) throw pybind11::error_already_set();
}
