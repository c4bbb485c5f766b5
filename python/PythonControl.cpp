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
    else
        slot_->dropped = true;
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

py::object PythonControl::Call(int dispId, const py::tuple& args, const py::dict& kwargs)
{
    OrvSIPUserAgentOCX& control = Owned();
    const OrvMemberInfo* member = OrvFindMember(control.Methods(), dispId);
    if (member == nullptr)
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
    const int handled = Owned().DispatchEvents();
    ThreadControls::ForCurrentThread().CloseDropped();
    return handled;
}

bool PythonControl::WaitForEvents(double seconds)
{
    OrvSIPUserAgentOCX& control = Owned();
    const int milliseconds = ClampedMilliseconds(seconds);
    ThreadControls& controls = ThreadControls::ForCurrentThread();
    controls.CloseDropped();
    bool waiting = false;
    {
        py::gil_scoped_release unlocked;
        waiting = control.RunUntil(
            [&controls] { return !ThreadEventQueue::ForCurrentThread().Empty() || controls.AnyDropped(); },
            milliseconds);
    }
    controls.CloseDropped();
    return waiting && !ThreadEventQueue::ForCurrentThread().Empty();
}
