#include "cti/CtiEventQueue.h"
#include "cti/CtiRecordFile.h"
#include "tests/platform/TempDirectory.h"

#include <gtest/gtest.h>

#include <fstream>

TEST(CtiEventQueue, ItemsLeaveOldestFirstWithBlanksForEmptyParts)
{
    CtiEventQueue queue;
    EXPECT_FALSE(queue.HasRecord());
    queue.QueueCtiEvent("", "ignored", "ignored");
    EXPECT_EQ(queue.Text(), "");
    queue.QueueCtiEvent("STATUS", "REGISTERING", "");
    queue.QueueCtiEvent("ERROR", "14", "Cann't access Input/Mic device or device is already in use.");
    queue.QueueCtiEvent("HANGUP", "CALL DISCONECTED", "");
    EXPECT_EQ(queue.Text(), "STATUS:REGISTERING: |ERROR:14:Cann't access Input/Mic device or device is already in "
                            "use.|HANGUP:CALL DISCONECTED: ");
    EXPECT_EQ(queue.MirrorText(), "\r\n0->STATUS:REGISTERING: \r\n1->ERROR:14:Cann't access Input/Mic device or "
                                  "device is already in use.\r\n2->HANGUP:CALL DISCONECTED: ");
    ASSERT_TRUE(queue.HasRecord());
    CtiEventQueue::Record first = queue.FirstRecord();
    EXPECT_EQ(first.command, "STATUS");
    EXPECT_EQ(first.parameter, "REGISTERING");
    EXPECT_EQ(first.message, " ");
    queue.DropFirstQueuedEvent();
    EXPECT_EQ(queue.FirstRecord().parameter, "14");
    queue.DropFirstQueuedEvent();
    EXPECT_EQ(queue.FirstRecord().command, "HANGUP");
    queue.DropFirstQueuedEvent();
    EXPECT_EQ(queue.Text(), "");
    EXPECT_FALSE(queue.HasRecord());
    queue.DropFirstQueuedEvent();
    EXPECT_EQ(queue.Text(), "");
    EXPECT_EQ(queue.MirrorText(), "");
}

TEST(CtiEventQueue, SeparatorsInsidePartsCannotSplitRecords)
{
    CtiEventQueue queue;
    queue.QueueCtiEvent("ERROR", "a|b", "c:d");
    queue.QueueCtiEvent("STATUS", "x", "y");
    const CtiEventQueue::Record first = queue.FirstRecord();
    EXPECT_EQ(first.command, "ERROR");
    EXPECT_EQ(first.parameter, "a b");
    EXPECT_EQ(first.message, "c d");
    queue.DropFirstQueuedEvent();
    EXPECT_EQ(queue.FirstRecord().command, "STATUS");

    // A direct record waiting for the client keeps its exact text, and only direct
    // ones are taken out when nobody consumes.
    queue.QueueDirect({"INCOMING CALL", "a:b|c", ""});
    queue.QueueCtiEvent("STATUS", "DISCONNECT", "");
    queue.QueueDirect({"LOST CALL", "", ""});
    EXPECT_EQ(queue.Text(), "STATUS:x:y|INCOMING CALL:a:b|c:|STATUS:DISCONNECT: |LOST CALL::");
    CtiEventQueue::Record newest;
    ASSERT_TRUE(queue.TakeNewestDirect(newest));
    EXPECT_EQ(newest, (CtiEventQueue::Record{"LOST CALL", "", ""}));
    EXPECT_EQ(queue.Text(), "STATUS:x:y|STATUS:DISCONNECT: ");
    EXPECT_FALSE(queue.TakeNewestDirect(newest));
}

TEST(CtiRecordFile, RecordsRoundTripAndEmptyFilesCountAsAbsent)
{
    TempDirectory folder;
    CtiRecordFile output(folder.File("OUTPUT.INI"));
    EXPECT_FALSE(output.HasContent());
    ASSERT_TRUE(output.Write({"SERVER ERROR", "CODE 503", "Service Unavailable"}));
    EXPECT_TRUE(output.HasContent());
    std::ifstream in(output.Path());
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text, "[ACTION]\nCOMMAND=SERVER ERROR\nPARAMETER=CODE 503\nMESSAGE=Service Unavailable\n");
    ASSERT_TRUE(output.Write({"STATUS", "SUCCESS TO CONNECT", ""}));
    const CtiEventQueue::Record record = output.Read();
    EXPECT_EQ(record.command, "STATUS");
    EXPECT_EQ(record.parameter, "SUCCESS TO CONNECT");
    EXPECT_EQ(record.message, "");
    output.Remove();
    EXPECT_FALSE(output.HasContent());
    output.Remove();

    CtiRecordFile input(folder.File("INPUT.INI"));
    std::ofstream(input.Path()).close();
    EXPECT_FALSE(input.HasContent()) << "a zero-length file is no record";
    std::ofstream(input.Path()) << "[ACTION]\nCOMMAND=Dial\nPARAMETER=" << std::string(5000, '9') << "\n";
    EXPECT_TRUE(input.HasContent());
    EXPECT_EQ(input.Read().command, "Dial");
    EXPECT_EQ(input.Read().parameter, std::string(254, '9'));
    EXPECT_EQ(input.Read().message, "");
}
