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
// creation to the end of the program, whatever the CTI settings say:
// `timerCTIInput` runs a command, `timerCTIOutput` writes the oldest queued record
// once the client has consumed (deleted or emptied) the previous one. Neither file
// is deleted at start: a client may write its first command before trn starts.
class CtiFileInterface : public QObject {
    Q_OBJECT

public:
    static constexpr int kTickMs = 200;
    // A record is three short lines: anything beyond this is not read.
    static constexpr std::size_t kMaxInputBytes = 64 * 1024;

    CtiFileInterface(const std::string& folder, CtiEventQueue& queue, CtiCommandRunner& runner,
                     QObject* parent = nullptr);

    // One tick of each timer; the timers call these, tests may too.
    void InputTick();
    void OutputTick();

    // A direct record: OUTPUT.INI is replaced at once, consumed or not.
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
    std::string shownQueue_;
};
