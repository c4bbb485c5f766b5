#include "softphone/CallQualityBars.h"
#include "softphone/CallQualityMonitor.h"

#include <gtest/gtest.h>

TEST(CallQuality, BarsAndTooltipFromFiguresOfAnyShape)
{
    EXPECT_EQ(CallQualityBars::BarsForMos(4.4), 5);
    EXPECT_EQ(CallQualityBars::BarsForMos(4.0), 4);
    EXPECT_EQ(CallQualityBars::BarsForMos(3.0), 1);
    EXPECT_EQ(CallQualityBars::BarsForMos(-1), 0);

    const QString known = CallQualityBars::Description("codec=PCMU;sent_packets=250;received_packets=249;lost=1;"
                                                       "peer_lost=0;jitter_ms=0.4;peer_jitter_ms=-1;rtt_ms=0.3;"
                                                       "concealed=2;jb_delay_ms=40.0;mos=4.4");
    EXPECT_EQ(known.toStdString(), "Call quality (MOS estimate): 4.4\nCodec: PCMU\nPackets sent: 250, received: 249\n"
                                   "Lost: 1 here, 0 at the peer\nJitter: 0.4 ms here, - at the peer\n"
                                   "Round trip: 0.3 ms\nConcealed blocks: 2\nJitter buffer: 40.0 ms");
    // Nothing in the text is trusted to be there or well formed.
    for (const char* odd : {"", ";;;", "mos", "=4.4", "mos=;codec=", "%1%2=%3"})
        EXPECT_TRUE(CallQualityBars::Description(odd).startsWith("Call quality (MOS estimate): -\nCodec: -\n")) << odd;
    EXPECT_TRUE(CallQualityBars::Description("codec=%1;mos=%2").startsWith("Call quality (MOS estimate): %2\nCodec: %1\n"));
}

TEST(CallQuality, OneLogLinePerCallWhateverTheNumberHolds)
{
    const QDateTime at(QDate(2024, 5, 6), QTime(7, 8, 9));
    EXPECT_EQ(CallQualityMonitor::LogLine(at, "2002", 61, "codec=PCMU;mos=4.4").toStdString(),
              "2024-05-06T07:08:09\t2002\t61\tcodec=PCMU;mos=4.4\n");
    const QString forged = CallQualityMonitor::LogLine(at, QString::fromUtf8("Bob\tX\r\nY\xC2\x85Z"), 0, "mos=-1");
    EXPECT_EQ(forged.count('\n'), 1);
    EXPECT_EQ(forged.split('\t').size(), 4);
}
