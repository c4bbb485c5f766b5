#include "python/PythonControl.h"

#include "python/PythonValues.h"
#include "python/ThreadEventQueue.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <stdexcept>

namespace py = pybind11;

namespace {

std::int64_t NextSerial()
{
    static std::atomic<std::int64_t> serial{0};
    return ++serial;
}

int ClampedMilliseconds(double seconds)
{
    if (!(seconds > 0))
        return 0;
    return static_cast<int>(std::min(std::ceil(seconds * 1000), 24.0 * 3600 * 1000));
}

} // namespace

PythonControl::PythonControl() : serial_(NextSerial()), slot_(std::make_shared<ThreadControls::Slot>())
{
    slot_->control = std::make_unique<OrvSIPUserAgentOCX>();
    slot_->sink = std::make_unique<QueuedEventSink>(serial_, slot_->control->Events());
    slot_->control->Advise(slot_->sink.get());
    ThreadControls::ForCurrentThread().Add(slot_);
}

PythonControl::~PythonControl()
{
    if (OnOwnThread())
        ThreadControls::ForCurrentThread().Close(*slot_);
}

bool PythonControl::OnOwnThread() const
{
    const ThreadControls* here = ThreadControls::OfCurrentThread();
    return here != nullptr && here->Holds(*slot_);
}

void PythonControl::Close()
{
    if (slot_->closed)
        return;
    Owned();
    ThreadControls::ForCurrentThread().Close(*slot_);
}

OrvSIPUserAgentOCX& PythonControl::Owned()
{
    if (slot_->closed)
        throw py::value_error("the control is closed");
    if (!OnOwnThread())
        throw std::runtime_error("the control belongs to the thread that created it");
    return *slot_->control;
}

py::list PythonControl::Describe(const std::vector<OrvMemberInfo>& members)
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

py::list PythonControl::Methods()
{
    return Describe(Owned().Methods());
}

py::list PythonControl::Events()
{
    return Describe(Owned().Events());
}

py::object PythonControl::Call(int dispId, const py::tuple& args, const py::dict& kwargs)
{
    OrvSIPUserAgentOCX& control = Owned();
    const std::vector<OrvMemberInfo>& methods = control.Methods();
    auto member = std::find_if(methods.begin(), methods.end(),
                               [dispId](const OrvMemberInfo& info) { return info.dispId == dispId; });
    if (member == methods.end())
        throw py::attribute_error("the control has no method " + std::to_string(dispId));
    std::vector<OrvValue> arguments = PythonValues::Bind(*member, args, kwargs);
    OrvValue result;
    OrvResult code = OrvOk;
    {
        // Some methods wait (un-registration up to 4 s); other Python threads go on.
        py::gil_scoped_release unlocked;
        code = control.Invoke(dispId, arguments, result);
    }
    if (code != OrvOk)
        throw py::type_error(PythonValues::Signature(*member) + ": refused by the control");
    return PythonValues::ToPython(result);
}

int PythonControl::Descriptor()
{
    return Owned().EventDescriptor();
}

int PythonControl::Dispatch()
{
    return Owned().DispatchEvents();
}

bool PythonControl::WaitForEvents(double seconds)
{
    OrvSIPUserAgentOCX& control = Owned();
    const int milliseconds = ClampedMilliseconds(seconds);
    py::gil_scoped_release unlocked;
    return control.RunUntil([] { return !ThreadEventQueue::ForCurrentThread().Empty(); }, milliseconds);
}
