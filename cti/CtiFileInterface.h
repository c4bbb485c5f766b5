#pragma once

#include "cti/CtiCommandRunner.h"
#include "cti/CtiEventQueue.h"
#include "cti/CtiRecordFile.h"
#include "cti/TickGuard.h"

#include <QElapsedTimer>
#include <QObject>

#include <optional>
#include <string>

class QTimer;

// The CTI text-file interface: a client drops a command into INPUT.INI and picks up
// events from OUTPUT.INI, both in the folder of TARN.INI. Two 200 ms timers run from
// Start to the end of the program, whatever the CTI settings say: `timerCTIInput`
// runs a command, `timerCTIOutput` writes the oldest queued record once the client
// has consumed (deleted or emptied) the previous one. Neither file is deleted at
// start: a client may write its first command before trn starts.
//
// A direct record replaces OUTPUT.INI at once only while nobody consumes it (it has
// held the same unread record for kUnreadMs), so the latest state stays visible;
// while a client consumes, it joins the queue, so a live client sees every record
// once and in order.
class CtiFileInterface : public QObject {
    Q_OBJECT

public:
    static constexpr int kTickMs = 200;
    // How long a record that is not yet whole (all three keys and a line break at the
    // end) must stay unchanged before it runs as it is.
    static constexpr int kSettleMs = 2000;
    // How long OUTPUT.INI may hold the same record before trn takes it that no client
    // is reading.
    static constexpr int kUnreadMs = 2000;
    // A record is three short lines: anything beyond this is not read.
    static constexpr std::size_t kMaxInputBytes = 64 * 1024;

    CtiFileInterface(const std::string& folder, CtiEventQueue& queue, CtiCommandRunner& runner,
                     QObject* parent = nullptr);

    // Starts both timers.
    void Start();

    // One tick of each timer; the timers call these, tests may too.
    void InputTick();
    void OutputTick();

    // A direct record: written at once unless a client is consuming, queued then.
    bool WriteCtiOutput(const CtiEventQueue::Record& record);
    // A command by its exact name; any other name does nothing.
    void ExecuteCtiCommand(const std::string& command, const std::string& parameter);

    const CtiRecordFile& InputFile() const { return input_; }
    const CtiRecordFile& OutputFile() const { return output_; }

signals:
    // The queue as the mirror box `txt_arr_sendsock` shows it, after a dequeue changed it.
    void QueueShown(const QString& mirror);

private:
    bool IsReadyToRun();
    void RunClaimedInput();
    void ShowQueue();
    bool WriteOutput(const CtiEventQueue::Record& record);
    // Whether OUTPUT.INI has held the same record for kUnreadMs: nobody reads it.
    bool IsUnread();
    bool ClientIsConsuming();

    CtiRecordFile input_;
    CtiRecordFile output_;
    CtiEventQueue& queue_;
    CtiCommandRunner& runner_;
    TickGuard inputGuard_;
    TickGuard outputGuard_;
    QTimer* timerCTIInput;
    QTimer* timerCTIOutput;
    std::optional<CtiRecordFile::Version> seenVersion_;
    QElapsedTimer seenSince_;
    std::optional<CtiRecordFile::Version> outputVersion_;
    QElapsedTimer outputSince_;
    std::string shownQueue_;
};
