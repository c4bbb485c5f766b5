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
taking and giving bool, int and str (GetCallStatistics gives a dict of its figures:
{"codec": "PCMU", "sent_packets": 1000, ..., "mos": 4.4}); GetOrvObjectError() tells
why one failed.
Events go to the callables registered with on(). They are delivered by dispatch(),
run(), run_until() and wait_for() only, on the thread that created the control,
never from inside a method call, in the order the control raised them, also when a
callable itself runs the loop. A control belongs to the thread that created it;
dropping the last reference to it (or close(), or leaving a with block)
un-initialises it, on that thread: dropped on another one, the next time its own
thread runs its loop.
"""
import collections
import inspect
import threading
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
_EVENT_NAMES = frozenset(member[1] for member in _orvsip._events())


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


class _Waiter:
    """One wait_for in progress: the event it waits for, and its arguments once delivered."""

    def __init__(self, control, name):
        self.control, self.name, self.found = control, name, None


class _ThreadDelivery(threading.local):
    """What the controls of one thread are delivering: the calls of the events taken
    and not yet made (run in order by whichever run(), wait_for()... comes first,
    nested ones included, so every callable sees the events in the order they came),
    and the wait_for calls in progress (every delivered event counts for all)."""

    def __init__(self):
        self.calls = collections.deque()
        self.waiters = []

    def take_event(self):
        """Queues the calls of the next event waiting on this thread; False when none waits."""
        entry = _orvsip._take_event()
        if entry is None:
            return False
        serial, name, args = entry
        control = _controls.get(serial)
        if control is not None and not control.closed:
            self.calls.extend(control._calls_of(name, args))
            self.calls.append(lambda: self.delivered(control, name, args))
        return True

    def delivered(self, control, name, args):
        for waiter in self.waiters:
            if waiter.found is None and waiter.control is control and waiter.name == name:
                waiter.found = args


_delivery = _ThreadDelivery()


def _deliver(stop=lambda: False):
    """Makes the calls of the events waiting on this thread, in the order the events
    came, until stop() holds after an event is done or nothing waits. The first
    exception a callable raised is raised then; later ones are printed."""
    failures = []
    while not stop() and (_delivery.calls or _delivery.take_event()):
        if _delivery.calls:
            call = _delivery.calls.popleft()
            try:
                call()
            except Exception as error:  # raised by the delivering call once the round is done
                failures.append(error)
    for later in failures[1:]:
        traceback.print_exception(later)
    if failures:
        raise failures[0]


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
        does not come within timeout seconds. The event counts also when a callable
        delivers it, running the loop itself meanwhile. The events after it stay
        waiting for the next dispatch(), run(), run_until() or wait_for()."""
        if event == _EVERY_EVENT:
            raise ValueError("wait_for needs the name of one event")
        self._check_event(event)
        waiter = _Waiter(self, event)
        _delivery.waiters.append(waiter)
        try:
            found = self._run(lambda: _deliver(lambda: waiter.found is not None) or waiter.found, timeout)
        finally:
            _delivery.waiters.remove(waiter)
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

    def _calls_of(self, name, args):
        """The calls an event makes: its own callables, then those of "*"."""
        calls = [lambda callback=callback: callback(*args) for callback in self._handlers.get(name, ())]
        calls += [lambda callback=callback: callback(name, *args) for callback in self._handlers.get(_EVERY_EVENT, ())]
        return calls

    @staticmethod
    def _check_event(event):
        if event != _EVERY_EVENT and event not in _EVENT_NAMES:
            raise ValueError(f"the control has no event {event!r}")


def _figures(text):
    """A "key=value;..." text as a dict: numbers as int or float, other values (the
    codec's name) as text; an empty text (a failed check) as an empty dict."""
    figures = {}
    for pair in filter(None, text.split(";")):
        key, _, value = pair.partition("=")
        try:
            figures[key] = int(value)
        except ValueError:
            try:
                figures[key] = float(value)
            except ValueError:
                figures[key] = value
    return figures


def _with_dict_result(method):
    """A method giving "key=value;..." text, giving a dict instead."""

    def wrapped(self, *args, **kwargs):
        return _figures(method(self, *args, **kwargs))

    wrapped.__name__, wrapped.__qualname__, wrapped.__doc__ = method.__name__, method.__qualname__, method.__doc__
    wrapped.__signature__ = method.__signature__.replace(return_annotation=dict)
    return wrapped


# Methods whose text is a set of figures: Python gets them as a dict.
_DICT_RESULTS = {"GetCallStatistics"}

for _member in _orvsip._methods():
    _python_method = _method(*_member)
    if _member[1] in _DICT_RESULTS:
        _python_method = _with_dict_result(_python_method)
    setattr(OrvSIPUserAgentOCX, _member[1], _python_method)
del _member, _python_method
