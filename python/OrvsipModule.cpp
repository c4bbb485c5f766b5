// The extension module under the orvsip package: the control with calls by dispatch
// identifier, and the events waiting on the calling thread. orvsip/__init__.py builds
// the Python class, its methods and the event delivery on top of it (holding a
// Control made by its own __init__, so no Python class derives from this one).

#include "python/PythonControl.h"
#include "python/PythonValues.h"
#include "python/ThreadEventQueue.h"

#include <pybind11/pybind11.h>

namespace py = pybind11;

namespace {

// (serial, event name, arguments) of the next event waiting on this thread, or None.
py::object TakeEvent()
{
    std::optional<ThreadEventQueue::Entry> entry = ThreadEventQueue::ForCurrentThread().Pop();
    if (!entry)
        return py::none();
    return py::make_tuple(entry->serial, entry->name, PythonValues::ToPython(entry->arguments));
}

} // namespace

PYBIND11_MODULE(_orvsip, module)
{
    module.doc() = "The OrvSIP user agent control; use the orvsip package.";
    py::class_<PythonControl>(module, "Control")
        .def(py::init<>())
        .def_property_readonly("serial", &PythonControl::Serial)
        .def_property_readonly("closed", &PythonControl::Closed)
        .def("close", &PythonControl::Close)
        .def("_methods", &PythonControl::Methods)
        .def("_events", &PythonControl::Events)
        .def("_call", &PythonControl::Call)
        .def("fileno", &PythonControl::Descriptor)
        .def("_dispatch_loop", &PythonControl::Dispatch)
        .def("_wait_for_events", &PythonControl::WaitForEvents);
    module.def("_take_event", &TakeEvent);
}
