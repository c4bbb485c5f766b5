"""Every method of the control under its own name, with its arguments checked; what no
Python value, and no datagram a peer forges, can do to the interpreter."""
import inspect
import os
import re
import shutil
import tempfile
import threading
import unittest

import orvsip
from binding_support import LOOPBACK, Agent, RawPeer
from raw_sip import sdp

KINDS = {bool: True, int: 1, str: "x"}
# A value of each other kind, for each kind of parameter.
WRONG = {bool: [1, "true", None], int: ["1", True, 1.0, None], str: [1, b"x", None]}


def control_methods():
    return {member[1]: member for member in orvsip._orvsip._methods()}


def arguments_of(member):
    return [KINDS[kind] for _, kind in member[2]]


class ArgumentsTest(unittest.TestCase):
    def setUp(self):
        self.ua = orvsip.OrvSIPUserAgentOCX()
        self.addCleanup(self.ua.close)
        self.methods = control_methods()

    def test_every_method_under_its_own_name(self):
        self.assertEqual(len(self.methods), 77)
        for name, (_, _, parameters, result, _) in self.methods.items():
            method = getattr(self.ua, name)
            signature = inspect.signature(method)
            self.assertEqual([(p.name, p.annotation) for p in signature.parameters.values()], list(parameters))
            self.assertIs(signature.return_annotation, dict if name == "GetCallStatistics" else result)
        self.assertEqual(self.ua.GetVersionSDK(), "3, 0, 0, 0")
        self.assertEqual(self.ua.GetOrvObjectError(), 0)
        self.assertIsNone(self.ua.DisableDonotDisturb())
        self.assertFalse(self.ua.SelectVoiceCodec(9))
        self.assertEqual(self.ua.GetOrvObjectError(), 23)
        self.assertFalse(self.ua.Connect(LineNo=0, ToURI="sip:x@127.0.0.1", InputDeviceId=-1, OutputDeviceId=-1))
        self.assertEqual(self.ua.GetOrvObjectError(), 10)

    def test_wrong_arguments_raise_type_error_with_the_signature(self):
        for name, member in self.methods.items():
            method = getattr(self.ua, name)
            # The complaint names the control's method, whose figures are text.
            signature = re.escape(name + str(inspect.signature(method)).replace("-> dict", "-> str"))
            right = arguments_of(member)
            with self.assertRaisesRegex(TypeError, "^" + signature + ": takes"):
                method(*right, 1)
            for at, (parameter, kind) in enumerate(member[2]):
                with self.assertRaisesRegex(TypeError, f"takes {len(right)} arguments?, {at} given"):
                    method(*right[:at])
                for wrong in WRONG[kind]:
                    with self.assertRaisesRegex(TypeError, f"^{signature}: {parameter} must be"):
                        method(*right[:at], wrong, *right[at + 1:])
                with self.assertRaisesRegex(TypeError, f"{parameter} given twice"):
                    method(*right, **{parameter: right[at]})
                if kind is int:
                    for huge in (2 ** 31, -2 ** 31 - 1, 10 ** 100):
                        with self.assertRaisesRegex(OverflowError, f"{parameter} does not fit in 32 bits"):
                            method(*right[:at], huge, *right[at + 1:])
            with self.assertRaisesRegex(TypeError, "no parameter named Nonsense"):
                method(*right, Nonsense=1)

    def test_events_and_delivery_refuse_what_does_not_fit(self):
        ua = self.ua
        events = [member[1] for member in orvsip._orvsip._events()]
        self.assertEqual(len(events), 28)
        for name in events:
            self.assertIs(ua.on(name, print), print)
            ua.off(name)
        with self.assertRaisesRegex(ValueError, "no event 'OnNothing'"):
            ua.on("OnNothing", print)
        with self.assertRaises(TypeError):
            ua.on("OnDTMFDigit", "not callable")
        with self.assertRaises(ValueError):
            ua.wait_for("*")
        for timeout in (-1, float("nan")):
            with self.assertRaises(ValueError):
                ua.run(timeout)
        with self.assertRaises(TypeError):
            ua.run_until(lambda: True, "soon")
        with self.assertRaisesRegex(TimeoutError, "OnDTMFDigit did not come within 0.05 s"):
            ua.wait_for("OnDTMFDigit", 0.05)
        digits = []
        decorated = ua.on("OnDTMFDigit")(lambda line, digit: digits.append(digit))
        ua.off("OnDTMFDigit", decorated)
        with self.assertRaises(ValueError):
            ua.off("OnDTMFDigit", decorated)
        self.assertTrue(ua.run_until(lambda: True, 0))

    def test_a_control_belongs_to_its_thread_is_made_once_and_stays_closed(self):
        refused = []

        def use_elsewhere():
            for use in (self.ua.GetVersionSDK, self.ua.fileno, self.ua.dispatch, lambda: self.ua.run(0.01)):
                try:
                    use()
                except RuntimeError as error:
                    refused.append(str(error))

        worker = threading.Thread(target=use_elsewhere)
        worker.start()
        worker.join()
        self.assertEqual(refused, ["the control belongs to the thread that created it"] * 4)
        self.ua.close()
        self.assertTrue(self.ua.closed)
        unmade = orvsip.OrvSIPUserAgentOCX.__new__(orvsip.OrvSIPUserAgentOCX)
        for use in (lambda: unmade.GetVersionSDK(), unmade.fileno, unmade.dispatch, lambda: unmade.on("*", print)):
            with self.assertRaises(AttributeError):
                use()
        self.ua.close()
        for use in (self.ua.GetVersionSDK, self.ua.fileno, self.ua.dispatch):
            with self.assertRaisesRegex(ValueError, "closed"):
                use()


class HostileInputTest(unittest.TestCase):
    """Odd but well-typed values into every method of an initialised control, and
    datagrams whose text is not UTF-8."""

    STRINGS = ["", "\x00", "a\x00b", "\udcff\udcfe", "é€😀", "%s%n" * 8, "x" * 65536]
    INTS = [0, -1, 2 ** 31 - 1, -2 ** 31]
    # These take down what the others need, or wait for answers: called last.
    LAST = ("UnRegisterToProxy", "UnInitialize", "Initialize")

    def test_odd_values_into_every_method(self):
        proxy = RawPeer()  # takes whatever the user agent sends, answers nothing
        self.addCleanup(proxy.close)
        agent = Agent("1001", proxy=f"{LOOPBACK}:{proxy.port}")
        self.addCleanup(agent.ua.close)
        methods = control_methods()
        order = sorted(methods, key=lambda name: (name in self.LAST, self.LAST.index(name) if name in self.LAST else 0))
        expected = {bool: bool, int: int, str: str, None: type(None)}
        for name in order:
            member = methods[name]
            for variant in range(len(self.STRINGS) if member[2] else 1):
                arguments = [self._odd(kind, variant, name) for _, kind in member[2]]
                result = getattr(agent.ua, name)(*arguments)
                kind = dict if name == "GetCallStatistics" else expected[member[3]]
                self.assertIsInstance(result, kind, f"{name}{tuple(arguments)!r:.200}")
        with self.assertRaises(UnicodeEncodeError):
            agent.ua.DigitDTMF(0, "\ud800")

    def _odd(self, kind, variant, method):
        if kind is bool:
            return variant % 2 == 0
        if kind is int:
            if method == "Initialize":  # TotalLine and ListenPort: a huge count of lines is no test of the binding
                return -1
            return self.INTS[variant % len(self.INTS)]
        return self.STRINGS[variant % len(self.STRINGS)]

    def test_a_nul_in_a_text_is_refused_with_the_methods_code(self):
        agent = Agent("1001")
        self.addCleanup(agent.ua.close)
        ua = agent.ua
        folder = tempfile.mkdtemp(prefix="orvsip-nul-")
        self.addCleanup(shutil.rmtree, folder, ignore_errors=True)
        for refused, code in ((lambda: ua.SaveRecordingToWaveFile(0, os.path.join(folder, "sip:a\x00b")), 21),
                              (lambda: ua.Connect(0, f"sip:2000@{LOOPBACK}\x00x", -1, -1), 25),
                              (lambda: ua.DigitDTMF(0, "5\x00"), 25),
                              (lambda: ua.RegisterToProxy(-5), 26)):
            self.assertFalse(refused())
            self.assertEqual(ua.GetOrvObjectError(), code)
        self.assertEqual(os.listdir(folder), [])
        self.assertFalse(ua.IsLineBusy(0))

    def test_text_that_is_not_utf8_comes_and_goes_back_intact(self):
        agent = Agent("1001")
        self.addCleanup(agent.ua.close)
        peer = RawPeer()
        self.addCleanup(peer.close)
        call_id = "caf\udce9-\udcff@peer"
        body = sdp(peer.port + 2)
        invite = (f"INVITE {agent.uri} SIP/2.0\r\n"
                  f"Via: SIP/2.0/UDP {LOOPBACK}:{peer.port};branch=z9hG4bKforged1;rport\r\n"
                  f"From: \"Ren\udce9e \udcff\" <sip:ren@{LOOPBACK}:{peer.port}>;tag=f1\r\n"
                  f"To: <{agent.uri}>\r\nCall-ID: {call_id}\r\nCSeq: 1 INVITE\r\nMax-Forwards: 70\r\n"
                  f"Contact: <sip:ren@{LOOPBACK}:{peer.port}>\r\nContent-Type: application/sdp\r\n"
                  f"Content-Length: {len(body)}\r\n\r\n{body}")
        peer.send(invite.encode("utf-8", "surrogateescape"), agent.sip_port)
        peer.send(b"\xff" * 3000, agent.sip_port)
        diagnostics = []
        agent.ua.on("OnIncomingDiagnostic", lambda text, ip, port: diagnostics.append(text))
        incoming = agent.ua.wait_for("OnIncomingCall", 10)
        self.assertEqual(incoming[0], call_id)
        self.assertEqual(incoming[1], "Ren\udce9e \udcff")
        self.assertTrue(agent.ua.RejectCall(call_id), agent.ua.GetOrvObjectError())
        self.assertTrue(agent.ua.run_until(lambda: len(diagnostics) == 2, 5))
        self.assertEqual(diagnostics, [invite, "\udcff" * 3000])
        answers = []
        while "SIP/2.0 486 Busy Here" not in answers and (answer := peer.receive(3)) is not None:
            answers.append(answer.split("\r\n")[0])
        self.assertIn("SIP/2.0 486 Busy Here", answers)


if __name__ == "__main__":
    unittest.main()
