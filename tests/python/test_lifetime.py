"""Dropping the last reference to a control un-initialises it: its ports are free
again and its registration is withdrawn. A control dropped on a thread that is not its
own is left to its thread, which un-initialises it when it ends."""
import gc
import os
import subprocess
import sys
import threading
import time
import unittest

import orvsip
from binding_support import HERE, LOOPBACK, Agent, port_is_free, python_env, started_sipp


class LifetimeTest(unittest.TestCase):
    def test_dropping_the_last_reference_un_initialises(self):
        registrar = started_sipp(os.path.join(HERE, "registrar_and_callee_caller_hangs_up.xml"))
        self.addCleanup(registrar.stop)
        agent = Agent("1001", proxy=f"{LOOPBACK}:{registrar.local_port}")
        sip_port, rtp_port = agent.sip_port, agent.rtp_port
        self.assertTrue(agent.ua.RegisterToProxy(300))
        agent.ua.wait_for("OnSuccessToRegister", 10)
        self.assertFalse(port_is_free(sip_port))
        self.assertFalse(port_is_free(rtp_port))
        del agent
        # Gone at once: the un-REGISTER was answered, both sockets are closed.
        self.assertTrue(port_is_free(sip_port))
        self.assertTrue(port_is_free(rtp_port))
        self.assertEqual(registrar.wait(10), 0, registrar.log())

    def test_callbacks_holding_the_control_do_not_keep_it(self):
        agent = Agent("1001")
        port = agent.sip_port
        ua = agent.ua
        ua.on("OnIncomingCall", lambda call_id, *rest: ua.RejectCall(call_id))
        del agent, ua
        gc.collect()
        self.assertTrue(port_is_free(port))

    def test_close_and_with_block(self):
        with Agent("1001").ua as ua:
            self.assertTrue(ua.IsLineOpen(0))
        self.assertTrue(ua.closed)
        with self.assertRaisesRegex(ValueError, "closed"):
            ua.GetVersionSDK()
        agent = Agent("1001")
        agent.ua.close()
        self.assertTrue(port_is_free(agent.sip_port))
        self.assertTrue(port_is_free(agent.rtp_port))

    def test_a_control_belongs_to_its_thread_until_the_thread_ends(self):
        made, release = [], threading.Event()

        def owner():
            made.extend([Agent("1001"), Agent("1002")])
            release.wait(30)

        worker = threading.Thread(target=owner)
        worker.start()
        while len(made) < 2 and worker.is_alive():
            worker.join(0.01)
        dropped_port, kept_port, kept = made[0].sip_port, made[1].sip_port, made[1].ua
        with self.assertRaisesRegex(RuntimeError, "thread that created it"):
            kept.IsLineOpen(0)
        del made[:]
        gc.collect()
        self.assertFalse(port_is_free(dropped_port), "a control was un-initialised on a thread not its own")
        release.set()
        worker.join()
        # join() returns as the thread leaves Python, a moment before the thread ends.
        deadline = time.monotonic() + 5
        while not kept.closed and time.monotonic() < deadline:
            time.sleep(0.01)
        self.assertTrue(port_is_free(dropped_port), "a control outlived its thread")
        self.assertTrue(port_is_free(kept_port), "a control outlived its thread")
        self.assertTrue(kept.closed)
        with self.assertRaisesRegex(ValueError, "closed"):
            kept.GetVersionSDK()
        self.assertEqual(orvsip.OrvSIPUserAgentOCX().GetVersionFile(), "91, 0, 4, 8")

    def test_a_control_dropped_on_another_thread_is_closed_by_its_own(self):
        made, dropped, outcome = [], threading.Event(), {}

        def owner():
            kept = Agent("1002")
            made.append(Agent("1001"))
            dropped.wait(30)
            # The owner runs its loop as it always does: the dropped control goes then.
            outcome["freed"] = kept.ua.run_until(lambda: port_is_free(port), 5)
            outcome["kept"] = kept.ua.IsLineOpen(0)

        worker = threading.Thread(target=owner)
        worker.start()
        while not made and worker.is_alive():
            worker.join(0.01)
        port = made[0].sip_port
        del made[:]
        gc.collect()
        dropped.set()
        worker.join()
        self.assertEqual(outcome, {"freed": True, "kept": True})

    def test_the_methods_are_on_the_class_before_any_control(self):
        probe = ("import orvsip, pydoc; cls = orvsip.OrvSIPUserAgentOCX; "
                 "print('Connect' in dir(cls), 'JoinTwoLine' in dir(cls)); print(pydoc.render_doc(cls, renderer=pydoc.plaintext))")
        result = subprocess.run([sys.executable, "-c", probe], capture_output=True, text=True, timeout=60,
                                env=python_env())
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(result.stdout.splitlines()[0], "True True")
        self.assertIn("Connect(self, /, LineNo: int, ToURI: str, InputDeviceId: int, OutputDeviceId: int) -> bool",
                      result.stdout)


if __name__ == "__main__":
    unittest.main()
