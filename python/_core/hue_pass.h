// circthresh._core.hue: the hue pass over numpy arrays of colours.
#pragma once

#include <pybind11/pybind11.h>

// Adds _core.hue(rgb, percent, threads) to the module.
void add_hue_pass(pybind11::module_& module);
