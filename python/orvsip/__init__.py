"""The OrvSIP user agent control in Python: a SIP softphone in a few lines.

    import orvsip

    ua = orvsip.OrvSIPUserAgentOCX()
    ua.on("*", lambda name, *args: print(name, *args))
    ua.Initialize(True, "127.0.0.1", 5070, "", "", "127.0.0.1:5060", "1001", "secret", False, 1)
    ua.OpenLine(0, True, "127.0.0.1", 7000)
    ua.RegisterToProxy(300)
    ua.wait_for("OnSuccessToRegister")
    ua.Connect(0, "sip:1002@127.0.0.1", -1, -1)
    ua.wait_for("OnSuccessToConnect", 30)
    ua.Disconnect(0)

Every method of the control is a method of OrvSIPUserAgentOCX under its own name,
taking and giving bool, int and str; GetOrvObjectError() tells why one failed.
Events go to the callables registered with on(). They are delivered by dispatch(),
run(), run_until() and wait_for() only, on the thread that created the control,
never from inside a method call. A control belongs to the thread that created it;
dropping the last reference to it (or close(), or leaving a with block)
un-initialises it.
"""
import inspect
import time
import traceback
import weakref

from . import _orvsip

__all__ = ["OrvSIPUserAgentOCX"]

# How long the loop runs at a time before Python looks at its signals (Ctrl-C).
_SLICE_SECONDS = 0.1
_EVERY_EVENT = "*"
# serial -> control, to route the events waiting on a thread to their controls.
_controls = weakref.WeakValueDictionary()
# The names of the events, known once the first control told its tables.
_event_names = None


def _method(disp_id, name, parameters, result, help_text):
    """The Python method of one control method: it calls by dispatch identifier."""

    def method(self, *args, **kwargs):
        return self._control._call(disp_id, args, kwargs)

    method.__name__ = name
    method.__qualname__ = f"OrvSIPUserAgentOCX.{name}"
    method.__doc__ = help_text
    method.__signature__ = inspect.Signature(
        [inspect.Parameter("self", inspect.Parameter.POSITIONAL_ONLY)]
        + [inspect.Parameter(parameter, inspect.Parameter.POSITIONAL_OR_KEYWORD, annotation=kind)
           for parameter, kind in parameters],
        return_annotation=result)
    return method


def _learn_members(control):
    """Gives the class the control's methods, read from the control's own table."""
    global _event_names
    if _event_names is not None:
        return
    for member in control._methods():
        setattr(OrvSIPUserAgentOCX, member[1], _method(*member))
    _event_names = frozenset(member[1] for member in control._events())


def _deliver(until=None):
    """Hands the events waiting on this thread to their controls' callables, in the
    order they came. Stops after the one that until(control, name) accepts and
    returns its arguments (None when none came). The first exception a callable
    raised is raised once the events taken are delivered; later ones are printed."""
    failures = []
    found = None
    while found is None and (entry := _orvsip._take_event()) is not None:
        serial, name, args = entry
        control = _controls.get(serial)
        if control is None or control.closed:
            continue
        control._fire(name, args, failures)
        if until is not None and until(control, name):
            found = args
    for later in failures[1:]:
        traceback.print_exception(later)
    if failures:
        raise failures[0]
    return found


def _check_timeout(seconds):
    if not seconds >= 0:
        raise ValueError(f"a time in seconds is 0 or more, not {seconds!r}")


class OrvSIPUserAgentOCX:
    """The OrvSIP SIP user agent control. Its methods are the control's (help(ua.Connect)),
    its events are delivered to the callables registered with on()."""

    def __init__(self):
        self._control = _orvsip.Control()
        self._handlers = {}
        _controls[self._control.serial] = self
        _learn_members(self._control)

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()

    @property
    def closed(self):
        return self._control.closed

    def close(self):
        """Un-initialises the control and frees it now (once closed, nothing)."""
        self._control.close()

    def fileno(self):
        """The descriptor of the message loop (shared by the controls of this thread):
        readable when something is due; call dispatch() then."""
        return self._control.fileno()

    def on(self, event, callback=None):
        """Calls callback(*arguments) for each event of that name (such as
        "OnIncomingCall"), in the event's parameter order; "*" calls
        callback(name, *arguments) for every event. Several callables may listen to
        one event; they run in the order registered. Without a callback, on() is a
        decorator."""
        if callback is None:
            return lambda function: self.on(event, function)
        self._check_event(event)
        if not callable(callback):
            raise TypeError(f"the callback of {event} must be callable, not {type(callback).__name__}")
        self._handlers.setdefault(event, []).append(callback)
        return callback

    def off(self, event, callback=None):
        """Stops calling callback on that event (without one: every callable of it)."""
        self._check_event(event)
        if callback is None:
            self._handlers.pop(event, None)
        else:
            self._handlers.get(event, []).remove(callback)

    def dispatch(self):
        """Runs what is due without blocking and delivers the events waiting. For
        asyncio: loop.add_reader(ua.fileno(), ua.dispatch). The controls of one
        thread share its loop: one reader serves them all."""
        self._control._dispatch_loop()
        _deliver()

    def run(self, seconds):
        """Runs the loop for that many seconds, delivering events as they come."""
        self.run_until(lambda: False, seconds)

    def run_until(self, done, timeout):
        """Runs the loop, delivering events, until done() holds (asked after each
        round of events) or timeout seconds passed; whether done() held."""

        def step():
            _deliver()
            return True if done() else None

        return self._run(step, timeout) is not None

    def wait_for(self, event, timeout=5.0):
        """Runs the loop, delivering events, until this control's next event of that
        name is delivered, and returns its arguments as a tuple. TimeoutError when it
        does not come within timeout seconds. The events after it stay waiting for the
        next dispatch(), run(), run_until() or wait_for()."""
        if event == _EVERY_EVENT:
            raise ValueError("wait_for needs the name of one event")
        self._check_event(event)
        found = self._run(lambda: _deliver(lambda control, name: control is self and name == event), timeout)
        if found is None:
            raise TimeoutError(f"{event} did not come within {timeout} s")
        return found

    def _run(self, step, timeout):
        """step() after each round of the loop until it gives something, or None
        when timeout seconds passed first."""
        _check_timeout(timeout)
        deadline = time.monotonic() + timeout
        while (outcome := step()) is None:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                return None
            self._control._wait_for_events(min(remaining, _SLICE_SECONDS))
        return outcome

    def _fire(self, name, args, failures):
        for callback in list(self._handlers.get(name, ())):
            self._call_back(failures, callback, *args)
        for callback in list(self._handlers.get(_EVERY_EVENT, ())):
            self._call_back(failures, callback, name, *args)

    @staticmethod
    def _call_back(failures, callback, *args):
        try:
            callback(*args)
        except Exception as error:  # raised by the delivering call once the round is done
            failures.append(error)

    @staticmethod
    def _check_event(event):
        if event != _EVERY_EVENT and event not in _event_names:
            raise ValueError(f"the control has no event {event!r}")
