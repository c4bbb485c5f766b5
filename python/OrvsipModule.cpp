// The extension module under the orvsip package: the methods and events of the
// control class, the control with calls by dispatch identifier, and the events
// waiting on the calling thread. orvsip/__init__.py builds
// the Python class, its methods and the event delivery on top of it (holding a
// Control made by its own __init__, so no Python class derives from this one).

#include "python/PythonControl.h"
#include "python/PythonValues.h"
#include "python/ThreadEventQueue.h"

#include <pybind11/pybind11.h>

namespace py = pybind11;

namespace {

// (dispId, name, ((parameter, type), ...), result type, help) of each method or event.
py::list Describe(const std::vector<OrvMemberInfo>& members)
{
    py::list described;
    for (const OrvMemberInfo& member : members) {
        py::list parameters;
        for (const OrvParameter& parameter : member.parameters)
            parameters.append(py::make_tuple(parameter.name, PythonValues::TypeObject(parameter.type)));
        described.append(py::make_tuple(member.dispId, member.name, py::tuple(parameters),
                                        PythonValues::TypeObject(member.result), member.help));
    }
    return described;
}

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
        .def("_call", &PythonControl::Call)
        .def("fileno", &PythonControl::Descriptor)
        .def("_dispatch_loop", &PythonControl::Dispatch)
        .def("_wait_for_events", &PythonControl::WaitForEvents);
    module.def("_take_event", &TakeEvent);
    module.def("_methods", [] { return Describe(OrvSIPUserAgentOCX::ClassMethods()); });
    module.def("_events", [] { return Describe(OrvSIPUserAgentOCX::ClassEvents()); });
}
