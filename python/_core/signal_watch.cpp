// Asking Python, at most every 50 ms and only on the main thread, whether a
// signal's handler raised while a compiled pass runs without the lock.
#include "signal_watch.h"

#include <pybind11/pybind11.h>

namespace py = pybind11;

namespace {

// A few checks during the slowest pass a user would interrupt; each takes
// Python's lock, which another Python thread may hold for up to its 5 ms
// switch interval.
constexpr std::chrono::milliseconds CHECK_INTERVAL(50);

// Python code, so a handler may run (and raise) in it: the caller takes that
// exception as the handler's.
bool on_main_thread() {
    const py::module_ threading = py::module_::import("threading");
    return threading.attr("current_thread")().is(threading.attr("main_thread")());
}

}  // namespace

SignalWatch start_signal_watch() {
    return SignalWatch{std::chrono::steady_clock::now() + CHECK_INTERVAL};
}

std::function<bool()> signal_raised(SignalWatch& watch) {
    return [&watch] {
        if (watch.raised) return true;
        if (!watch.may_receive || std::chrono::steady_clock::now() < watch.next_check) return false;
        py::gil_scoped_acquire locked;
        try {
            watch.may_receive = on_main_thread();
            watch.raised = watch.may_receive && PyErr_CheckSignals() != 0;
        } catch (py::error_already_set& error) {
            error.restore();
            watch.raised = true;
        }
        watch.next_check = std::chrono::steady_clock::now() + CHECK_INTERVAL;
        return watch.raised;
    };
}
