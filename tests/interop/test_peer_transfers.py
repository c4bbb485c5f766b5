"""What strict and busy peers send: INFO digits, a transfer whose target is this side
(INVITE with Replaces), their packet time, datagrams of any size."""
import os
import tempfile
import unittest

from audio_check import tone
from orvua_driver import LOOPBACK, Baresip, Kamailio, Orvua, Sipp, free_udp_port, write_wav
from raw_sip import SipPeer, sdp
from rtp_media import rtp_fields
from sip_text import body, header, tag
from test_audio import ORVUA_TONE, PEER_TONE, AudioFiles
from test_hold_transfer import assert_tone_at_the_end
from test_hostile_peers import PeerTestCase

G729 = 18


class InfoDigitsTest(unittest.TestCase):
    def test_info_digits_raise_one_event_each(self):
        ua = Orvua()
        self.addCleanup(ua.quit)
        sip_port = free_udp_port()
        self.assertTrue(ua.initialize(sip_port, proxy=""))
        self.assertTrue(ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
        # -nr: sipp must not resend on its own; the scenario resends one INFO itself.
        sipp = Sipp("caller_sends_info_digits.xml", remote_port=sip_port, extra=["-nr"])
        self.addCleanup(sipp.stop)
        call_id = ua.wait_event("OnIncomingCall", timeout=15)[0]
        self.assertTrue(ua.call("AcceptCall", 0, call_id, -1, -1))
        self.assertEqual(sipp.wait(30), 0, sipp.log())
        ua.wait_event("OnDisconnectCall")
        self.assertEqual([args for args in ua.pending("OnDTMFDigit")], [[0, "1"], [0, "#"], [0, "A"], [0, "5"]])
        answers = [a[0] for a in ua.pending("OnOutgoingDiagnostic") if "INFO" in (header(a[0], "CSeq") or "")]
        self.assertEqual([a.split("\r\n")[0] for a in answers], ["SIP/2.0 200 OK"] * 5)


class BaresipTransfersUsTest(unittest.TestCase):
    """Through kamailio, orvua (1001) calls baresip 2002, which transfers the call to
    baresip 3003 with a REFER."""

    def setUp(self):
        self.kamailio = Kamailio({"1001": "secret", "2002": "secret2", "3003": "secret3"})
        self.addCleanup(self.kamailio.stop)
        self.referrer = self.baresip("2002", "secret2", None)
        peer_file = os.path.join(tempfile.mkdtemp(prefix="baresip-tone-"), "tone.wav")
        write_wav(peer_file, tone(PEER_TONE, 120))
        self.target = self.baresip("3003", "secret3", peer_file)
        self.files = AudioFiles(self, "transferred", ORVUA_TONE)
        self.ua = Orvua(env=self.files.environment)
        self.addCleanup(self.ua.quit)
        self.assertTrue(self.ua.initialize(free_udp_port(), proxy=f"{LOOPBACK}:{self.kamailio.port}", sound=True))
        self.assertTrue(self.ua.call("OpenLine", 0, True, LOOPBACK, free_udp_port()))
        self.assertTrue(self.ua.call("DisableEchoNoiseCancellation"))
        self.ua.call("DeselectAllVoiceCodec")
        self.ua.call("SelectVoiceCodec", 3)
        self.assertTrue(self.ua.call("RegisterToProxy", 3600))
        self.ua.wait_event("OnSuccessToRegister")
        for user in ("2002", "3003"):
            self.wait_registered(user)

    def baresip(self, user, password, audio_file):
        peer = Baresip(f"<sip:{user}@127.0.0.1:{self.kamailio.port}>;auth_pass={password};answermode=auto",
                       audio_file=audio_file)
        self.addCleanup(peer.stop)
        return peer

    def wait_registered(self, user):
        for _ in range(50):
            if self.kamailio.is_registered(user):
                return
            self.ua.drain(0.2)
        self.fail(f"{user} did not register")

    def call_referrer(self):
        self.assertTrue(self.ua.call("Connect", 0, f"sip:2002@{LOOPBACK}:{self.kamailio.port}", -1, -1))
        self.ua.wait_event("OnConnecting")
        self.ua.wait_event("OnSuccessToConnect", timeout=15)
        self.referrer.wait_event("CALL_ESTABLISHED")
        self.ua.call("DisableEchoNoiseCancellation")

    def test_the_call_moves_to_the_transfer_target(self):
        self.ua.call("SetAcceptTransfer", True)
        self.call_referrer()
        self.assertIn("sip:2002@", self.ua.call("GetRemoteParty", 0))
        self.referrer.command("transfer", f"sip:3003@{LOOPBACK}:{self.kamailio.port}")
        self.assertEqual(self.ua.wait_event("OnConnecting", timeout=15), [0])
        self.assertEqual(self.ua.wait_event("OnSuccessToConnect", timeout=15)[0], 0)
        self.target.wait_event("CALL_ESTABLISHED")
        self.referrer.wait_event("CALL_CLOSED", timeout=15)
        self.assertIn("sip:3003@", self.ua.call("GetRemoteParty", 0))
        self.assertTrue(self.ua.call("IsLineBusy", 0))
        self.assertFalse(self.ua.call("IsLineHold", 0))
        self.ua.drain(3.5)
        self.assertEqual(self.ua.pending("OnDisconnectCall"), [])
        sent = [a[0] for a in self.ua.pending("OnOutgoingDiagnostic")]
        accepted = [t for t in sent if t.startswith("SIP/2.0 202")]
        self.assertEqual(len(accepted), 1)
        frags = [body(t).strip() for t in sent if t.startswith("NOTIFY ")]
        self.assertEqual(frags[0], "SIP/2.0 100 Trying")
        self.assertEqual(frags[-1], "SIP/2.0 200 OK")
        self.assertTrue(all(header(t, "Event").startswith("refer") and header(t, "Max-Forwards") == "70"
                            for t in sent if t.startswith("NOTIFY ")))
        invite = [t for t in sent if t.startswith("INVITE sip:3003")][0]
        self.assertIn("2002", header(invite, "Referred-By"))
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.target.wait_event("CALL_CLOSED")
        self.assertEqual(self.ua.quit(), 0)
        self.target.stop()
        received = [n for n in os.listdir(self.target.record_dir) if n.endswith("-dec.wav")]
        self.assertEqual(len(received), 1, os.listdir(self.target.record_dir))
        assert_tone_at_the_end(self, os.path.join(self.target.record_dir, received[0]), ORVUA_TONE)
        assert_tone_at_the_end(self, self.files.speaker, PEER_TONE)

    def test_without_acceptance_the_refer_is_refused(self):
        self.call_referrer()
        self.referrer.command("transfer", f"sip:3003@{LOOPBACK}:{self.kamailio.port}")
        self.ua.wait_event("OnOutgoingDiagnostic", where=lambda a: a[0].startswith("SIP/2.0 405"))
        self.ua.drain(1.0)
        self.assertEqual(self.ua.pending("OnConnecting"), [])
        self.assertEqual(self.target.seen, [e for e in self.target.seen if e.get("type") != "CALL_INCOMING"])


class TransfereeWithRawPeerTest(PeerTestCase):
    """The raw peer is orvua's proxy, the referrer and the transfer target."""

    def refer(self, invite, cseq, refer_to, to_tag="callee1"):
        extra = f"Refer-To: {refer_to}\r\n" if refer_to is not None else ""
        self.peer.in_dialog("REFER", invite, cseq, to_tag=to_tag, extra=extra)
        return self.peer.expect("SIP/2.0").split("\r\n")[0]

    def notified(self):
        notify = self.peer.expect("NOTIFY")
        self.peer.answer(notify, 200, "OK", to_tag=None)
        return notify

    def test_refused_failed_and_followed_transfers(self):
        invite = self.connect()
        self.assertEqual(self.refer(invite, 2, "<sip:3003@127.0.0.1>"), "SIP/2.0 405 Method Not Allowed")
        self.ua.call("SetAcceptTransfer", True)
        for cseq, (refer_to, status) in enumerate(((None, "400"), ("<tel:+15551234>", "403"),
                                                   ("<sip:3003@127.0.0.1?Subject=x>", "403"),
                                                   ("<sip:3003@127.0.0.1;method=BYE>", "403")), start=3):
            self.assertTrue(self.refer(invite, cseq, refer_to).startswith(f"SIP/2.0 {status}"), refer_to)
        self.assertTrue(self.refer(invite, 8, "<sip:3003@127.0.0.1>", to_tag="forged").startswith("SIP/2.0 481"))
        self.assertTrue(self.ua.call("IsLineBusy", 0))
        self.assertEqual(self.ua.pending("OnConnecting"), [[0]], "only the first call's")

        target = f"<sip:3003@{LOOPBACK}:{self.peer.port}>"
        self.assertEqual(self.refer(invite, 9, target), "SIP/2.0 202 Accepted")
        self.assertEqual(body(self.notified()), "SIP/2.0 100 Trying\r\n")
        busy = self.peer.expect("INVITE sip:3003")
        self.assertIn("sip:2002@", header(busy, "Referred-By"), "the referrer, as the REFER named none")
        self.assertTrue(self.refer(invite, 10, target).startswith("SIP/2.0 491"), "one transfer at a time")
        self.peer.answer(busy, 486, "Busy Here", to_tag="target1")
        self.peer.expect("ACK")
        final = self.notified()
        self.assertEqual(body(final), "SIP/2.0 486 Busy Here\r\n")
        self.assertTrue(header(final, "Subscription-State").startswith("terminated"))
        self.assertEqual(header(final, "Event"), "refer;id=9")
        self.assertEqual(self.ua.wait_event("OnRequestFailureResponse"), [0, 486, "Busy Here"])
        self.assertTrue(self.ua.call("IsLineBusy", 0), "the line is back with the old call")
        self.assertFalse(self.ua.call("IsLineHold", 0))
        self.assertIn("sip:2002@", self.ua.call("GetRemoteParty", 0))
        self.rtp.receive_all(0.3)
        self.assertGreater(len(self.rtp.receive_all(1.0)), 20, "its audio flows again")

        new_media = SipPeer()
        self.addCleanup(new_media.close)
        self.assertEqual(self.refer(invite, 11, target), "SIP/2.0 202 Accepted")
        self.notified()
        answered = self.peer.expect("INVITE sip:3003")
        self.peer.answer(answered, 200, "OK", to_tag="target2", body=sdp(new_media.port))
        self.peer.expect("ACK")
        self.assertEqual(body(self.notified()), "SIP/2.0 200 OK\r\n")
        bye = self.peer.expect("BYE")
        self.assertEqual(header(bye, "Call-ID"), header(invite, "Call-ID"))
        self.peer.answer(bye, 200, "OK", to_tag=None)
        self.assertEqual(self.ua.wait_event("OnSuccessToConnect")[0], 0)
        self.assertGreater(len(new_media.receive_all(1.0)), 20)
        self.assertIn("sip:3003@", self.ua.call("GetRemoteParty", 0))
        self.assert_no_call_events("OnDisconnectCall")
        self.assertEqual(len(self.ua.pending("OnConnecting")), 3)


class InfoHostileTest(PeerTestCase):
    def info(self, invite, cseq, content_type, text, to_tag="callee1", from_tag=None):
        contact = header(invite, "Contact").strip("<>").split(">")[0]
        extra_from = header(invite, "To") + f";tag={from_tag or 'callee1'}"
        message = (f"INFO {contact} SIP/2.0\r\nVia: SIP/2.0/UDP {LOOPBACK}:{self.peer.port};branch=z9hG4bKi{cseq}\r\n"
                   f"From: {extra_from}\r\nTo: {header(invite, 'From')}\r\n"
                   f"Call-ID: {header(invite, 'Call-ID')}\r\nCSeq: {cseq} INFO\r\nMax-Forwards: 70\r\n"
                   f"Content-Type: {content_type}\r\nContent-Length: {len(text)}\r\n\r\n{text}")
        self.peer.send(message, self.sip_port)
        return self.peer.expect("SIP/2.0").split("\r\n")[0]

    def test_other_bodies_forged_tags_and_broken_signals_raise_nothing(self):
        invite = self.connect()
        self.assertEqual(self.info(invite, 5, "application/json", "{}"), "SIP/2.0 405 Method Not Allowed")
        self.assertEqual(self.info(invite, 6, "application/dtmf-relay", "Signal=9\r\n", from_tag="forged"),
                         "SIP/2.0 481 Call/Transaction Does Not Exist")
        self.assertEqual(self.info(invite, 7, "application/dtmf-relay", "Signal=Z\r\n"), "SIP/2.0 400 Bad Request")
        self.assertEqual(self.info(invite, 8, "application/dtmf-relay", "Signal=11\r\nDuration=100\r\n"),
                         "SIP/2.0 200 OK")
        self.assertEqual(self.info(invite, 4, "application/dtmf", "7"), "SIP/2.0 200 OK")
        self.ua.drain(0.5)
        self.assertEqual(self.ua.pending("OnDTMFDigit"), [[0, "#"]], "an older CSeq is not a new digit")
        self.assertTrue(self.ua.call("IsLineBusy", 0))


class ReplacesTest(PeerTestCase):
    """The raw peer is the peer of orvua's call and the party that replaces it."""

    def replacing_invite(self, call_id, replaces, media_port):
        return self.peer.request("INVITE", self.sip_port, call_id, 1, from_tag="newparty", body=sdp(media_port),
                                 extra=f"Replaces: {replaces}\r\n")

    def test_an_attended_transfer_to_this_side_replaces_the_call(self):
        self.assertFalse(self.ua.call("GetRemoteParty", 0))
        self.assertEqual(self.ua.call("GetOrvObjectError"), 34)
        invite = self.connect()
        ours = tag(header(invite, "From"))
        replaces = f"{header(invite, 'Call-ID')};to-tag={ours};from-tag=callee1"
        self.replacing_invite("off-1", replaces, self.rtp.port)
        self.peer.expect("SIP/2.0 180")
        self.assertEqual(self.ua.wait_event("OnIncomingCall")[0], "off-1", "transfers off: a new call rings")
        self.ua.wait_event("OnIncomingCallRingingStart")
        self.assertTrue(self.ua.call("RejectCall", "off-1"))
        busy = self.peer.expect("SIP/2.0 486")
        self.peer.request("ACK", self.sip_port, "off-1", 1, from_tag="newparty", to_tag=tag(header(busy, "To")))

        self.ua.call("SetAcceptTransfer", True)
        for wrong, status in ((f"unknown;to-tag={ours};from-tag=callee1", "481"),
                              (f"{header(invite, 'Call-ID')};to-tag=nottheirs;from-tag=callee1", "481"),
                              (f"{replaces};early-only", "486"),
                              ("no-tags-at-all", "400")):
            self.replacing_invite(f"wrong-{status}-{len(wrong)}", wrong, self.rtp.port)
            self.assertTrue(self.peer.expect("SIP/2.0").startswith(f"SIP/2.0 {status}"), wrong)
        self.assertTrue(self.ua.call("IsLineBusy", 0), "the call stays")

        new_media = SipPeer()
        self.addCleanup(new_media.close)
        self.replacing_invite("replacing-1", replaces, new_media.port)
        bye = self.peer.expect("BYE")
        self.assertEqual(header(bye, "Call-ID"), header(invite, "Call-ID"))
        self.assertEqual(header(bye, "Max-Forwards"), "70")
        self.peer.answer(bye, 200, "OK", to_tag=None)
        ok = self.peer.expect("SIP/2.0 200")
        self.assertEqual(header(ok, "Call-ID"), "replacing-1")
        self.peer.request("ACK", self.sip_port, "replacing-1", 1, from_tag="newparty", to_tag=tag(header(ok, "To")))
        self.assertEqual(self.ua.wait_event("OnSuccessToConnect")[0], 0)
        self.assertGreater(len(new_media.receive_all(1.0)), 20, "audio goes to the new party")
        self.assertIn("sip:peer@", self.ua.call("GetRemoteParty", 0))
        self.ua.drain(0.5)
        for silent in ("OnIncomingCall", "OnIncomingCallRingingStart", "OnDisconnectCall"):
            self.assertEqual(self.ua.pending(silent), [], silent)
        answers = [t.split("\r\n")[0] for _, t in self.peer.got if "replacing-1" in t and t.startswith("SIP/2.0")]
        self.assertNotIn("SIP/2.0 180 Ringing", answers)
        self.replacing_invite("after-end", replaces, self.rtp.port)
        self.assertTrue(self.peer.expect("SIP/2.0").startswith("SIP/2.0 481"), "the replaced call is gone")


class PacketTimeTest(PeerTestCase):
    def packets(self, codec_sdp):
        invite = self.dial()
        self.peer.answer(invite, 200, "OK", body=codec_sdp)
        self.peer.expect("ACK")
        self.ua.wait_event("OnSuccessToConnect")
        self.rtp.receive_all(0.3)
        return [rtp_fields(d) for d in self.rtp.receive_all(1.0)]

    def test_g729_follows_the_peers_ptime(self):
        self.ua.call("DeselectAllVoiceCodec")
        self.assertTrue(self.ua.call("SelectVoiceCodec", 4))
        packets = self.packets(sdp(self.rtp.port, payloads=(G729,)) + "a=ptime:20\r\n")
        self.assertTrue(all(p["type"] == G729 and len(p["payload"]) == 20 for p in packets), packets[:3])
        self.assertTrue(40 <= len(packets) <= 60, len(packets))
        steps = {b["timestamp"] - a["timestamp"] for a, b in zip(packets, packets[1:])}
        self.assertEqual(steps, {160})


class DatagramSizeTest(PeerTestCase):
    def test_a_ten_kib_invite_rings_and_huge_garbage_is_dropped(self):
        codecs = "".join(f"a=rtpmap:{n} X{n}/8000\r\na=fmtp:{n} mode={'x' * 80}\r\n" for n in range(96, 128))
        candidates = "".join(f"a=candidate:{n} 1 UDP {n} 127.0.0.1 {40000 + n} typ host\r\n" for n in range(60))
        offer = sdp(self.rtp.port).replace("RTP/AVP 0 101", "RTP/AVP 0 101 " + " ".join(map(str, range(96, 128))))
        routes = "".join(f"Record-Route: <sip:127.0.0.{n + 2}:5999;lr;ftag={'f' * 30}>\r\n" for n in range(40))
        text = self.peer.request("INVITE", self.sip_port, "big-invite", 1, body=offer + codecs + candidates,
                                 extra=routes, send=False)
        self.assertGreater(len(text), 10 * 1024)
        self.peer.send(text, self.sip_port)
        self.peer.expect("SIP/2.0 180")
        self.assertEqual(self.ua.wait_event("OnIncomingCall")[0], "big-invite")
        self.assertTrue(self.ua.call("AcceptCall", 0, "big-invite", -1, -1))
        ok = self.peer.expect("SIP/2.0 200")
        self.assertEqual(len([line for line in ok.split("\r\n") if line.startswith("Record-Route:")]), 40)
        self.peer.send(os.urandom(65507), self.sip_port)
        self.peer.request("OPTIONS", self.sip_port, "after-garbage", 1)
        self.assertTrue(self.peer.expect("SIP/2.0").startswith("SIP/2.0 200"))


if __name__ == "__main__":
    unittest.main()
