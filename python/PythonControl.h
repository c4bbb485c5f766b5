#pragma once

#include "python/ThreadControls.h"

#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>

// One control as the binding holds it: its methods called by dispatch identifier
// with Python values, its message loop, and its events queued for Python.
//
// A control belongs to the thread that created it (its message loop is that
// thread's): a use from another thread raises RuntimeError instead of racing the
// loop. Dropping it on its own thread un-initialises it; dropped on another, it is
// closed by its own thread the next time that thread runs its loop through the
// binding, at the latest when the thread ends.
class PythonControl {
public:
    PythonControl();
    ~PythonControl();
    PythonControl(const PythonControl&) = delete;
    PythonControl& operator=(const PythonControl&) = delete;

    std::int64_t Serial() const { return serial_; }
    bool Closed() const { return slot_->closed; }
    // Un-initialises and destroys the control now (once); later uses raise ValueError.
    void Close();

    pybind11::object Call(int dispId, const pybind11::tuple& args, const pybind11::dict& kwargs);

    int Descriptor();
    int Dispatch();
    // Runs the message loop until an event of this thread waits for Python, a
    // control of this thread was dropped on another, or the time is up (without
    // holding the interpreter); whether an event waits.
    bool WaitForEvents(double seconds);

private:
    // The control, checked to be open and used on its own thread.
    OrvSIPUserAgentOCX& Owned();
    bool OnOwnThread() const;

    std::int64_t serial_;
    std::shared_ptr<ThreadControls::Slot> slot_;
};
