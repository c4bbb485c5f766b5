"""Voice through a bad network: one orvua sends a 1 kHz tone to another through a
relay that delays every RTP packet by a random 0-40 ms and drops 1 % of them."""
import os
import tempfile
import unittest

from audio_check import assert_tone, read_wav
from media_relay import SipMediaRelay
from orvua_driver import LOOPBACK, Orvua, free_udp_port, write_wav
from playout_check import marked_tone, playout

PCMU_CODEC = 3


class JitterRelayTest(unittest.TestCase):
    SECONDS = 14
    SETTLED_FROM_BLOCK = 200  # the first 2 s fill the jitter buffer

    def start_orvua(self, env, relay, login):
        ua = Orvua(env=dict({"ORVSIP_AUDIO": "virtual"}, **env))
        self.addCleanup(ua.quit)
        sip_port, rtp_port = free_udp_port(), free_udp_port()
        self.assertTrue(ua.initialize(sip_port, proxy="", login=login, outbound=relay.address(), sound=True))
        self.assertTrue(ua.call("OpenLine", 0, True, LOOPBACK, rtp_port))
        # The noise suppressor would take the tone for noise; the path is what is measured.
        self.assertTrue(ua.call("DisableEchoNoiseCancellation"))
        ua.call("DeselectAllVoiceCodec")
        self.assertTrue(ua.call("SelectVoiceCodec", PCMU_CODEC))
        return ua, sip_port, rtp_port

    def test_a_tone_plays_with_at_most_one_percent_of_its_blocks_concealed_beyond_the_losses(self):
        directory = tempfile.mkdtemp(prefix="orvua-jitter-")
        tone, speaker = os.path.join(directory, "tone.wav"), os.path.join(directory, "speaker.wav")
        write_wav(tone, marked_tone(self.SECONDS + 10))
        relay = SipMediaRelay(delay=(0, 40), drop=0.01, seed=32)
        self.addCleanup(relay.stop)
        sender, sender_port, _ = self.start_orvua({"ORVSIP_VIRTUAL_MIC": tone}, relay, "1002")
        listener, _, listener_rtp = self.start_orvua({"ORVSIP_VIRTUAL_SPEAKER": speaker}, relay, "1001")
        self.assertTrue(listener.call("Connect", 0, f"sip:1002@{LOOPBACK}:{sender_port}", -1, -1))
        call_id = sender.wait_event("OnIncomingCall")[0]
        self.assertTrue(sender.call("AcceptCall", 0, call_id, -1, -1))
        listener.wait_event("OnSuccessToConnect")
        listener.drain(self.SECONDS)
        self.assertTrue(listener.call("Disconnect", 0))
        sender.wait_event("OnDisconnectCall")
        self.assertEqual(listener.quit(), 0)
        self.assertEqual(sender.quit(), 0)

        records = relay.tap_for(listener_rtp).records
        held = [r.sent - r.arrived for r in records if r.sent is not None]
        self.assertGreater(max(held), 0.03, "the relay delays packets by up to 40 ms")
        self.assertGreater(sum(r.dropped for r in records), 0, "the relay drops some")
        assert_tone(self, speaker, 1000, min_seconds=self.SECONDS - 4)
        heard = playout(records, read_wav(speaker)[0], start_block=self.SETTLED_FROM_BLOCK)
        summary = f"{heard}"
        self.assertGreater(heard.blocks, (self.SECONDS - 4) * 100, summary)
        self.assertGreater(heard.lost, 0, summary)
        self.assertLessEqual(heard.concealed_beyond_loss, heard.blocks / 100, summary)
        self.assertLessEqual(heard.late, heard.arrived / 100, summary)


if __name__ == "__main__":
    unittest.main()
