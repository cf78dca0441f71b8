// Minimal hand-written call frames of the nine functions, called with the routine they pass their arguments to.
#pragma once

#include "numpy_use.h"

namespace bench {

// A frame parses and converts like the module's, calls `routine` and builds the same result.
using MinimalFrame = PyObject* (*)(void* routine, PyObject* args, PyObject* kwds);

struct FrameRow {
    const char* name;
    MinimalFrame frame;
    void* noop;     // a routine that does nothing
    void* session;  // the session routine the module calls
};

// The nine rows, ended by a row whose name is null.
extern const FrameRow frame_rows[];

}  // namespace bench
