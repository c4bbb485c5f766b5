"""Two Python user agents on loopback call each other: through the blocking
wait_for/run_until, and through asyncio's add_reader while another coroutine runs."""
import asyncio
import threading
import unittest

from binding_support import LOOPBACK, Agent, EventLog

CALLER_NAME = "Alice Caller"
STATISTICS_KEYS = ["codec", "sent_packets", "sent_bytes", "received_packets", "received_bytes", "lost", "peer_lost",
                   "jitter_ms", "peer_jitter_ms", "rtt_ms", "concealed", "jb_delay_ms", "mos"]
CODEC_NAMES = ["GSM", "iLBC", "PCMA", "PCMU", "G729"]


def start_pair(test):
    caller = Agent("alice", from_uri=f'"{CALLER_NAME}" <sip:alice@{LOOPBACK}>')
    callee = Agent("bob")
    test.addCleanup(caller.ua.close)
    test.addCleanup(callee.ua.close)
    return caller, callee


class CallTest(unittest.TestCase):
    def test_call_dtmf_and_hang_up(self):
        caller, callee = start_pair(self)
        a, b = caller.ua, callee.ua
        log = EventLog(caller=a, callee=b)
        incoming = []

        @b.on("OnIncomingCall")
        def answer(call_id, display_name, user_name, from_uri, to_uri):
            incoming.append((call_id, display_name, user_name, from_uri, to_uri))
            self.assertTrue(log.call(b, "AcceptCall", 0, call_id, -1, -1), b.GetOrvObjectError())

        self.assertTrue(log.call(a, "Connect", 0, callee.uri, -1, -1))
        self.assertEqual(log.events, [], "an event came inside Connect")
        line, rtp_ip, rtp_port = a.wait_for("OnSuccessToConnect", 10)
        self.assertEqual((line, rtp_ip, rtp_port), (0, LOOPBACK, callee.rtp_port))
        self.assertEqual(b.wait_for("OnSuccessToConnect", 10), (0, LOOPBACK, caller.rtp_port))

        self.assertEqual(len(incoming), 1)
        call_id, display_name, user_name, from_uri, to_uri = incoming[0]
        self.assertTrue(call_id)
        self.assertEqual((display_name, user_name), (CALLER_NAME, "alice"))
        self.assertIn(f"sip:alice@{LOOPBACK}", from_uri)
        self.assertIn(f"sip:bob@{LOOPBACK}:{callee.sip_port}", to_uri)
        self.assertEqual(log.names("caller")[0], "OnConnecting")
        self.assertIn("OnProvisionalResponse", log.names("caller"))
        self.assertNotIn("OnIncomingCall", log.names("caller"))
        self.assertTrue(a.IsLineBusy(0) and b.IsLineBusy(0))
        self.assertIn(a.GetOutboundCodec(0), range(5))

        for digit in "5#":
            self.assertTrue(log.call(a, "DigitDTMF", 0, digit))
            self.assertEqual(b.wait_for("OnDTMFDigit", 10), (0, digit))
        self.assertTrue(log.call(b, "DigitDTMF", 0, "9"))
        self.assertEqual(a.wait_for("OnDTMFDigit", 10), (0, "9"))

        figures = a.GetCallStatistics(0)
        self.assertEqual(list(figures), STATISTICS_KEYS)
        self.assertEqual(figures["codec"], CODEC_NAMES[a.GetOutboundCodec(0)])
        self.assertGreater(figures["sent_packets"], 0)
        self.assertIsInstance(figures["jitter_ms"], (int, float))

        self.assertTrue(log.call(a, "Disconnect", 0))
        self.assertEqual(b.wait_for("OnDisconnectCall", 10), (0,))
        ended = a.GetCallStatistics(0)
        self.assertEqual(ended["codec"], figures["codec"], "the figures stay after the call")
        self.assertGreaterEqual(ended["sent_packets"], figures["sent_packets"])
        self.assertEqual(a.GetCallStatistics(7), {}, "no such line")
        self.assertEqual(a.GetOrvObjectError(), 29)
        self.assertFalse(b.IsLineBusy(0))
        self.assertFalse(a.IsLineBusy(0))
        self.assertNotIn("OnDisconnectCall", log.names("caller"), "our own hang-up is no event")

        self.assertEqual(log.inside_calls, [])
        self.assertEqual(log.threads, {threading.get_ident()})

    def test_events_wait_their_turn(self):
        """wait_for stops right after its event, the ones after it wait for the next
        call; every callable of an event runs even when one before it raises."""
        caller, callee = start_pair(self)
        a, b = caller.ua, callee.ua
        ringing = []
        b.on("OnIncomingCallRingingStart", ringing.append)
        self.assertTrue(a.Connect(0, callee.uri, -1, -1))
        call_id = b.wait_for("OnIncomingCall", 10)[0]
        self.assertEqual(ringing, [], "the ringing event came before its turn")
        self.assertEqual(b.wait_for("OnIncomingCallRingingStart", 10), (call_id,))
        self.assertEqual(ringing, [call_id])

        def broken(*args):
            raise ZeroDivisionError("a callback that fails")

        refusals = []
        a.on("OnRequestFailureResponse", broken)
        a.on("OnRequestFailureResponse", lambda *args: refusals.append(args))
        self.assertTrue(b.RejectCall(call_id))
        with self.assertRaises(ZeroDivisionError):
            a.wait_for("OnRequestFailureResponse", 10)
        self.assertEqual([args[:2] for args in refusals], [(0, 486)])
        with self.assertRaises(TimeoutError):
            a.wait_for("OnSuccessToConnect", 0.3)


    def test_a_callable_running_the_loop_loses_no_event_and_keeps_the_order(self):
        """A wait inside a callable takes nothing from the wait outside it, and every
        callable sees the events in the order the control raised them."""
        caller, callee = start_pair(self)
        a, b = caller.ua, callee.ua
        seen, inner = [], []
        b.on("*", lambda name, *args: seen.append(name))

        @b.on("OnIncomingDiagnostic")
        def wait_inside(*args):
            if not inner:
                inner.append(b.wait_for("OnIncomingCall", 10))
                b.run(0.2)

        self.assertTrue(a.Connect(0, callee.uri, -1, -1))
        outer = b.wait_for("OnIncomingCall", 10)
        self.assertEqual(inner, [outer])
        self.assertEqual(seen[:5], ["OnIncomingDiagnostic", "OnOutgoingDiagnostic", "OnOutgoingDiagnostic",
                                    "OnIncomingCall", "OnIncomingCallRingingStart"])
        self.assertTrue(b.RejectCall(outer[0]))
        self.assertEqual(a.wait_for("OnRequestFailureResponse", 10)[:2], (0, 486))


class AsyncioTest(unittest.TestCase):
    def test_events_through_add_reader(self):
        caller, callee = start_pair(self)
        a, b = caller.ua, callee.ua
        log = EventLog(caller=a, callee=b)
        self.assertEqual(a.fileno(), b.fileno(), "the controls of a thread share its loop")
        outcome = asyncio.run(self.call_from_asyncio(a, b, callee.uri, log))
        self.assertEqual(outcome["incoming"][1:3], (CALLER_NAME, "alice"))
        self.assertEqual(outcome["ringing"][:3], (0, 180, "Ringing"))
        self.assertEqual(outcome["connected"], (0, LOOPBACK, callee.rtp_port))
        self.assertEqual(outcome["digit"], (0, "7"))
        self.assertEqual(outcome["disconnected"], (0,))
        # The ticker ran on while the call rang: the user agent needed no thread and no blocking wait.
        self.assertGreaterEqual(outcome["ticks while ringing"], 5)
        self.assertEqual(log.inside_calls, [])
        self.assertEqual(log.threads, {threading.get_ident()})

    @staticmethod
    async def call_from_asyncio(a, b, callee_uri, log):
        """The caller calls; another coroutine answers a while after the call rings."""
        loop = asyncio.get_running_loop()
        ticks = 0

        async def ticker():
            nonlocal ticks
            while True:
                await asyncio.sleep(0.01)
                ticks += 1

        def next_event(agent, event, where=lambda *args: True):
            future = loop.create_future()
            agent.on(event, lambda *args: future.done() or not where(*args) or future.set_result(args))
            return future

        async def answerer():
            call_id = (await incoming)[0]
            await asyncio.sleep(0.2)
            log.call(b, "AcceptCall", 0, call_id, -1, -1)

        incoming = next_event(b, "OnIncomingCall")
        ringing = next_event(a, "OnProvisionalResponse", lambda line, status, reason: status == 180)
        connected = next_event(a, "OnSuccessToConnect")
        answered = next_event(b, "OnSuccessToConnect")
        digit = next_event(b, "OnDTMFDigit")
        disconnected = next_event(b, "OnDisconnectCall")
        loop.add_reader(a.fileno(), a.dispatch)
        others = [asyncio.create_task(ticker()), asyncio.create_task(answerer())]
        try:
            log.call(a, "Connect", 0, callee_uri, -1, -1)
            outcome = {"ringing": await asyncio.wait_for(ringing, 10)}
            ticks_at_ringing = ticks
            outcome["connected"] = await asyncio.wait_for(connected, 10)
            outcome["ticks while ringing"] = ticks - ticks_at_ringing
            outcome["incoming"] = incoming.result()
            await asyncio.wait_for(answered, 10)
            log.call(a, "DigitDTMF", 0, "7")
            outcome["digit"] = await asyncio.wait_for(digit, 10)
            log.call(a, "Disconnect", 0)
            outcome["disconnected"] = await asyncio.wait_for(disconnected, 10)
            return outcome
        finally:
            for task in others:
                task.cancel()
            loop.remove_reader(a.fileno())


if __name__ == "__main__":
    unittest.main()
