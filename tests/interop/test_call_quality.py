"""Call quality as orvua measures and tells it: RTCP with baresip, whose rtcpsummary
module prints at the end of a call what it heard of orvua's stream and what orvua
reported of its own; the same through a relay that drops 5 % of the RTP; and hand-made
peers that multiplex RTCP on the RTP port or announce a port of their own, with RTCP
forged from elsewhere and malformed."""
import re
import socket
import struct
import time
import unittest

import rtcp_text
from media_relay import SipMediaRelay
from orvua_driver import LOOPBACK, Baresip, Orvua, RawPeer, free_udp_port
from raw_sip import SipPeer, sdp
from rtp_media import Collector, PacedSender, is_rtcp, rtp_fields
from sip_text import body, header, tag

PCMU_CODEC = 3
KEYS = ["codec", "sent_packets", "sent_bytes", "received_packets", "received_bytes", "lost", "peer_lost", "jitter_ms",
        "peer_jitter_ms", "rtt_ms", "concealed", "jb_delay_ms", "mos"]
# The E-model's score of a G.711 call without loss on loopback is 4.4; 5 % loss takes it to 3.9.
LOSS_FREE_MOS = 4.2
PEER_SSRC = 0x5EED


def figures(text):
    """GetCallStatistics' text as a dict, the codec as text and every other figure a number."""
    pairs = [pair.partition("=") for pair in text.split(";")]
    assert [key for key, _, _ in pairs] == KEYS, text
    return {key: value if key == "codec" else float(value) for key, _, value in pairs}


def baresip_summary(baresip, timeout=5):
    """The fields of the line rtcpsummary prints when a call closes: PS and PR packets
    sent and received, PL lost (of what it received, and as orvua reported), JI jitter
    in ms (the same two sides)."""
    deadline = time.monotonic() + timeout
    while not (found := re.search(r"^EX=BareSip;(.*)$", baresip.log(), re.MULTILINE)):
        if time.monotonic() > deadline:
            raise AssertionError("baresip printed no RTCP summary:\n" + baresip.log())
        time.sleep(0.1)
    fields = dict(pair.split("=", 1) for pair in found.group(1).strip(";").split(";"))
    return {"PS": int(fields["PS"]), "PR": int(fields["PR"]), "PL": tuple(map(int, fields["PL"].split(","))),
            "JI": tuple(map(float, fields["JI"].split(",")))}


class BaresipCall:
    """orvua (virtual sound device, PCMU) calls baresip, which answers at once; with a
    relay, orvua's signalling and both sides' media go through it."""

    SECONDS = 20

    def __init__(self, test, relay=None):
        self.test = test
        self.baresip = Baresip("<sip:2002@127.0.0.1>;regint=0;answermode=auto", codecs="PCMU",
                               extra_config="module\t\t\trtcpsummary.so\n")
        test.addCleanup(self.baresip.stop)
        self.ua = Orvua(env={"ORVSIP_AUDIO": "virtual"})
        test.addCleanup(self.ua.quit)
        test.assertTrue(self.ua.initialize(free_udp_port(), proxy="", outbound=relay.address() if relay else "",
                                           sound=True))
        self.rtp_port = free_udp_port()
        test.assertTrue(self.ua.call("OpenLine", 0, True, LOOPBACK, self.rtp_port))
        self.ua.call("DeselectAllVoiceCodec")
        test.assertTrue(self.ua.call("SelectVoiceCodec", PCMU_CODEC))

    def statistics(self):
        return figures(self.ua.call("GetCallStatistics", 0))

    def talk(self):
        """Connects, talks for SECONDS; the figures at the end of the call, after it, and
        baresip's summary."""
        self.test.assertTrue(self.ua.call("Connect", 0, f"sip:2002@{LOOPBACK}:{self.baresip.sip_port}", -1, -1))
        self.ua.wait_event("OnSuccessToConnect", timeout=15)
        self.baresip.wait_event("CALL_ESTABLISHED")
        self.ua.drain(self.SECONDS)
        during = self.statistics()
        self.test.assertTrue(self.ua.call("Disconnect", 0))
        self.baresip.wait_event("CALL_CLOSED")
        after = self.statistics()
        return during, after, baresip_summary(self.baresip)


class BaresipReportsTest(unittest.TestCase):
    def test_both_sides_report_a_clean_call_and_the_figures_outlast_it(self):
        call = BaresipCall(self)
        self.assertEqual(set(call.statistics().values()), {-1.0, "-1"}, "no call yet: nothing is known")
        during, after, summary = call.talk()

        expected_packets = 50 * BaresipCall.SECONDS
        self.assertEqual(during["codec"], "PCMU")
        self.assertGreater(during["sent_packets"], 0.9 * expected_packets, during)
        self.assertEqual(during["sent_bytes"], 160 * during["sent_packets"], "payload octets, as RTCP counts them")
        self.assertGreater(during["received_packets"], 0.9 * expected_packets, during)
        self.assertEqual(during["lost"], 0, during)
        # baresip's reports about orvua's stream.
        self.assertEqual(during["peer_lost"], 0, during)
        self.assertTrue(0 <= during["peer_jitter_ms"] < 5, during)
        self.assertTrue(0 <= during["rtt_ms"] < 10, during)
        self.assertTrue(0 <= during["jitter_ms"] < 5, during)
        self.assertGreaterEqual(during["jb_delay_ms"], 0, "the virtual speaker plays the jitter buffer")
        self.assertGreaterEqual(during["mos"], LOSS_FREE_MOS, during)

        # What baresip heard of orvua's stream and read in orvua's reports.
        self.assertLessEqual(abs(summary["PR"] - after["sent_packets"]), 2, (summary, after))
        self.assertLessEqual(abs(summary["PS"] - after["received_packets"]), 2, (summary, after))
        self.assertEqual(summary["PL"], (0, 0), summary)
        self.assertLess(max(summary["JI"]), 5, summary)

        # The figures stay readable after the call, as it ended.
        self.assertEqual(after["codec"], "PCMU")
        self.assertGreaterEqual(after["sent_packets"], during["sent_packets"])
        call.ua.drain(1.5)
        self.assertEqual(call.statistics(), after, "nothing changes once the call is over")
        self.assertEqual(call.ua.quit(), 0)


class LossyRelayTest(unittest.TestCase):
    def test_five_percent_lost_each_way_is_measured_here_and_reported_by_both_sides(self):
        relay = SipMediaRelay(drop=0.05, seed=36)
        self.addCleanup(relay.stop)
        call = BaresipCall(self, relay)
        _, after, summary = call.talk()

        received_here = after["received_packets"] + after["lost"]
        loss_here = 100 * after["lost"] / received_here
        self.assertTrue(3.5 <= loss_here <= 6.5, after)
        dropped_here = sum(r.dropped for r in relay.tap_for(call.rtp_port).records if not is_rtcp(r.data))
        self.assertLessEqual(abs(after["lost"] - dropped_here), 2, (after, dropped_here))
        loss_there = 100 * summary["PL"][0] / summary["PR"]
        self.assertTrue(3.5 <= loss_there <= 6.5, summary)
        # peer_lost is as of baresip's last report, up to 7.5 s (375 packets) before the end.
        reported_of = after["sent_packets"] - 375
        self.assertTrue(3.5 * reported_of <= 100 * after["peer_lost"] <= 6.5 * after["sent_packets"], after)
        self.assertLessEqual(abs(after["peer_lost"] - summary["PL"][0]), 25, "baresip's last report lags a little")
        self.assertLessEqual(abs(summary["PL"][1] - after["lost"]), 1, "baresip read orvua's last report")
        self.assertEqual(sum(r.dropped for r in relay.rtcp_tap_for(call.rtp_port).records), 0)
        self.assertLess(after["mos"], LOSS_FREE_MOS, after)
        self.assertGreater(after["mos"], 3.0, after)
        self.assertGreater(after["concealed"], 0, "lost packets were covered")
        self.assertEqual(call.ua.quit(), 0)


class RawRtcpPeer:
    """A hand-made far end: SIP on one socket, RTP (and RTCP, when multiplexed) on
    another, RTCP on a third when it has a port of its own (with `consecutive`, the RTP
    port + 1)."""

    def __init__(self, test, consecutive=False):
        self.sip = SipPeer()
        self.media, self.rtcp = consecutive_peers() if consecutive else (RawPeer(), RawPeer())
        for peer in (self.sip, self.media, self.rtcp):
            test.addCleanup(peer.close)
        self.sources, self.rtcp_sources = set(), set()
        self.heard = Collector(self._receiver(self.media, self.sources))
        test.addCleanup(self.heard.stop)
        self.rtcp_heard = Collector(self._receiver(self.rtcp, self.rtcp_sources))
        test.addCleanup(self.rtcp_heard.stop)

    @staticmethod
    def _receiver(peer, sources):
        """Datagrams of a socket, noting where each came from."""
        peer.socket.settimeout(0.1)

        def receive():
            try:
                data, source = peer.socket.recvfrom(65535)
            except (TimeoutError, socket.timeout):
                return None
            sources.add(source)
            return data
        return receive

    @staticmethod
    def reports(collector):
        """(arrival, report) of the RTCP compounds a collector took."""
        return [(stamp, rtcp_text.report(data)) for stamp, data in list(collector.arrivals) if is_rtcp(data)]

    def first_report_about_us(self, collector):
        return next(((stamp, found) for stamp, found in self.reports(collector)
                     if found and PEER_SSRC in found["blocks"]), None)

    def rtp_ssrcs(self):
        return {rtp_fields(data)["ssrc"] for _, data in list(self.heard.arrivals) if not is_rtcp(data)}


def consecutive_peers():
    """Two sockets on loopback, the second on the port after the first's."""
    while True:
        first = RawPeer()
        try:
            return first, RawPeer(first.port + 1)
        except OSError:
            first.close()


def wait_for(test, what, timeout=15):
    deadline = time.monotonic() + timeout
    while not (found := what()):
        test.assertLess(time.monotonic(), deadline, "it did not come in time")
        time.sleep(0.1)
    return found


class RtcpPortsTest(unittest.TestCase):
    def setUp(self):
        self.peer = RawRtcpPeer(self)
        self.ua = Orvua()
        self.addCleanup(self.ua.quit)
        self.sip_port = free_udp_port()
        self.assertTrue(self.ua.initialize(self.sip_port, lines=2, proxy=f"{LOOPBACK}:{self.peer.sip.port}"))

    def statistics(self):
        return figures(self.ua.call("GetCallStatistics", 0))

    def test_multiplexed_when_the_peer_offers_it_and_only_the_peers_rtcp_counts(self):
        rtp_port = free_udp_port()
        self.assertTrue(self.ua.call("OpenLine", 0, True, LOOPBACK, rtp_port))
        offer = sdp(self.peer.media.port) + "a=rtcp-mux\r\n"
        self.peer.sip.request("INVITE", self.sip_port, "muxed-1", 1, body=offer)
        self.assertEqual(self.ua.wait_event("OnIncomingCall")[0], "muxed-1")
        self.assertTrue(self.ua.call("AcceptCall", 0, "muxed-1", -1, -1))
        ok = self.peer.sip.expect("SIP/2.0 200")
        self.assertIn("a=rtcp-mux\r\n", body(ok), "the answer takes multiplexing")
        self.assertNotIn("a=rtcp:", body(ok), "and needs no RTCP port")
        self.peer.sip.request("ACK", self.sip_port, "muxed-1", 1, to_tag=tag(header(ok, "To")))
        self.ua.wait_event("OnSuccessToConnect")
        sender = PacedSender(self.peer.media, rtp_port)
        self.addCleanup(sender.stop)

        # orvua's reports come to the RTP port: a sender report of its own stream,
        # its CNAME, and a block about ours.
        first_stamp, first = wait_for(self, lambda: self.peer.first_report_about_us(self.peer.heard))
        self.assertEqual(first["type"], rtcp_text.SR, first)
        self.assertEqual({first["ssrc"]}, self.peer.rtp_ssrcs(), "the report's SSRC is the stream's")
        self.assertTrue(first["cname"], first)
        self.assertEqual(first["blocks"][PEER_SSRC]["lost"], 0, first)
        self.assertEqual(self.peer.reports(self.peer.rtcp_heard), [], "nothing on a port of its own")
        self.assertEqual(self.peer.sources, {(LOOPBACK, rtp_port)}, "RTP and RTCP from the RTP port")
        ssrc = first["ssrc"]

        # The peer reports back on its RTP port: 7 lost, 10 ms of jitter, and the
        # round trip from the sender report it answers.
        held = time.monotonic() - first_stamp
        answer = rtcp_text.receiver_report(PEER_SSRC, rtcp_text.block(
            ssrc, lost=7, fraction=3, highest=first["packet_count"], jitter=80, lsr=rtcp_text.middle_bits(first["ntp"]),
            dlsr=int(held * 65536)))
        self.peer.media.send(answer, rtp_port)
        reported = wait_for(self, lambda: (s := self.statistics())["peer_lost"] == 7 and s)
        self.assertEqual(reported["peer_jitter_ms"], 10.0, reported)
        self.assertTrue(0 <= reported["rtt_ms"] < 50, reported)
        self.assertEqual(reported["lost"], 0, reported)

        # RTCP from anywhere but the peer's RTP address, and malformed RTCP from it,
        # change no figure.
        forged = rtcp_text.receiver_report(PEER_SSRC, rtcp_text.block(ssrc, lost=999, fraction=200, jitter=8000,
                                                                      lsr=1, dlsr=1))
        stranger = RawPeer()
        self.addCleanup(stranger.close)
        stranger.send(forged, rtp_port)
        elsewhere = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.addCleanup(elsewhere.close)
        elsewhere.bind(("127.0.0.2", self.peer.media.port))
        elsewhere.sendto(forged, (LOOPBACK, rtp_port))
        self.peer.rtcp.send(forged, rtp_port)
        for broken in (forged[:-4], forged + b"\x00", b"\x40" + forged[1:], forged[:4] + b"\x00" * 100,
                       struct.pack("!BBH", 0x81, 201, 1) + forged[4:]):
            self.peer.media.send(broken, rtp_port)
        self.ua.drain(1)
        now = self.statistics()
        for key in ("peer_lost", "peer_jitter_ms", "rtt_ms"):
            self.assertEqual(now[key], reported[key], key)

        # The call ends with a BYE in orvua's last report.
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.peer.sip.expect("BYE")
        wait_for(self, lambda: any(r and r["bye"] and r["ssrc"] == ssrc for _, r in self.peer.reports(self.peer.heard)))

    def test_rtcp_follows_the_source_the_rtp_latched_onto(self):
        """A peer behind a NAT sends from another port than its SDP names: once the RTP
        latches onto it, its RTCP is what comes from that port + 1 (that very port,
        multiplexed), and reports go there; the SDP's endpoint and a third address no
        longer count."""
        rtp_port = free_udp_port()
        self.assertTrue(self.ua.call("OpenLine", 0, True, LOOPBACK, rtp_port))
        stranger = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.addCleanup(stranger.close)
        stranger.bind(("127.0.0.2", 0))
        for number, multiplexed in enumerate((False, True)):
            moved = RawRtcpPeer(self, consecutive=True)
            call_id = f"latched-{number}"
            offer = sdp(self.peer.media.port) + ("a=rtcp-mux\r\n" if multiplexed else f"a=rtcp:{self.peer.rtcp.port}\r\n")
            self.peer.sip.request("INVITE", self.sip_port, call_id, 1, body=offer)
            self.assertEqual(self.ua.wait_event("OnIncomingCall")[0], call_id)
            self.assertTrue(self.ua.call("AcceptCall", 0, call_id, -1, -1))
            ok = self.peer.sip.expect("SIP/2.0 200")
            announced = re.search(r"^a=rtcp:(\d+)\r$", body(ok), re.MULTILINE)
            rtcp_port = rtp_port if multiplexed else int(announced.group(1)) if announced else rtp_port + 1
            self.peer.sip.request("ACK", self.sip_port, call_id, 1, to_tag=tag(header(ok, "To")))
            self.ua.wait_event("OnSuccessToConnect")
            sender = PacedSender(moved.media, rtp_port)

            ssrc = wait_for(self, lambda: moved.first_report_about_us(moved.heard if multiplexed else moved.rtcp_heard))[1]["ssrc"]
            self.assertEqual(self.peer.reports(self.peer.heard) + self.peer.reports(self.peer.rtcp_heard), [],
                             "no report to the endpoint the SDP named")
            reply = rtcp_text.receiver_report(PEER_SSRC, rtcp_text.block(ssrc, lost=5 + number, jitter=8))
            (self.peer.media if multiplexed else self.peer.rtcp).send(reply, rtcp_port)
            stranger.sendto(reply, (LOOPBACK, rtcp_port))
            self.ua.drain(0.5)
            self.assertEqual(self.statistics()["peer_lost"], -1, "neither the SDP's endpoint nor a third address")
            (moved.media if multiplexed else moved.rtcp).send(reply, rtcp_port)
            reported = wait_for(self, lambda: (s := self.statistics())["peer_lost"] == 5 + number and s)
            self.assertEqual(reported["peer_jitter_ms"], 1.0, reported)
            self.assertTrue(self.ua.call("Disconnect", 0))
            self.peer.sip.expect("BYE")
            sender.stop()

    def test_a_port_of_its_own_is_announced_when_the_next_one_is_taken(self):
        # Hosts open lines on any free ports, consecutive ones too: the RTCP of line 0
        # cannot have the port after its RTP port, and no line fails for it.
        rtp_port = free_udp_port()
        self.assertTrue(self.ua.call("OpenLine", 0, True, LOOPBACK, rtp_port))
        self.assertTrue(self.ua.call("OpenLine", 1, True, LOOPBACK, rtp_port + 1))
        self.assertTrue(self.ua.call("Connect", 0, f"sip:2002@{LOOPBACK}:{self.peer.sip.port}", -1, -1))
        invite = self.peer.sip.expect("INVITE")
        self.assertIn("a=rtcp-mux\r\n", body(invite), "orvua offers multiplexing")
        announced = re.search(r"^a=rtcp:(\d+)\r$", body(invite), re.MULTILINE)
        self.assertIsNotNone(announced, body(invite))
        rtcp_port = int(announced.group(1))
        self.assertNotIn(rtcp_port, (rtp_port, rtp_port + 1))
        # The peer declines multiplexing and takes RTCP on a port it announces.
        answer = sdp(self.peer.media.port) + f"a=rtcp:{self.peer.rtcp.port}\r\n"
        self.peer.sip.answer(invite, 200, "OK", body=answer)
        self.peer.sip.expect("ACK")
        self.ua.wait_event("OnSuccessToConnect")
        sender = PacedSender(self.peer.media, rtp_port)
        self.addCleanup(sender.stop)

        first = wait_for(self, lambda: self.peer.first_report_about_us(self.peer.rtcp_heard))[1]
        self.assertEqual(self.peer.reports(self.peer.heard), [], "nothing multiplexed")
        self.assertEqual(self.peer.rtcp_sources, {(LOOPBACK, rtcp_port)}, "reports come from the announced port")
        reply = rtcp_text.receiver_report(PEER_SSRC, rtcp_text.block(first["ssrc"], lost=3, jitter=16))
        # From the RTP port + 1 instead of the announced port: not the peer's RTCP.
        wrong = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.addCleanup(wrong.close)
        wrong.bind((LOOPBACK, 0))
        wrong.sendto(reply, (LOOPBACK, rtcp_port))
        self.ua.drain(0.5)
        self.assertEqual(self.statistics()["peer_lost"], -1)
        self.peer.rtcp.send(reply, rtcp_port)
        reported = wait_for(self, lambda: (s := self.statistics())["peer_lost"] == 3 and s)
        self.assertEqual(reported["peer_jitter_ms"], 2.0)
        self.assertTrue(self.ua.call("Disconnect", 0))
        self.peer.sip.expect("BYE")


if __name__ == "__main__":
    unittest.main()
