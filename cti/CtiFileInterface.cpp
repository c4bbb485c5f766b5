#include "cti/CtiFileInterface.h"

#include "cti/CtiRecordText.h"

#include <QTimer>

CtiFileInterface::CtiFileInterface(const std::string& folder, CtiEventQueue& queue, CtiCommandRunner& runner,
                                   QObject* parent)
    : QObject(parent), input_(folder + "INPUT.INI"), output_(folder + "OUTPUT.INI"), queue_(queue), runner_(runner)
{
    timerCTIInput = new QTimer(this);
    timerCTIInput->setObjectName(QStringLiteral("timerCTIInput"));
    connect(timerCTIInput, &QTimer::timeout, this, &CtiFileInterface::InputTick);
    timerCTIOutput = new QTimer(this);
    timerCTIOutput->setObjectName(QStringLiteral("timerCTIOutput"));
    connect(timerCTIOutput, &QTimer::timeout, this, &CtiFileInterface::OutputTick);
    timerCTIInput->start(kTickMs);
    timerCTIOutput->start(kTickMs);
}

void CtiFileInterface::InputTick()
{
    inputGuard_.Run([this] {
        if (!runner_.IsRunning() && IsReadyToRun())
            RunClaimedInput();
    });
}

// A record with its three keys runs at once. Without them the client may be writing
// it key by key: it runs only once it has not changed for a whole tick.
bool CtiFileInterface::IsReadyToRun()
{
    const std::optional<CtiRecordFile::Version> version = input_.CurrentVersion();
    if (!version) {
        seenVersion_.reset();
        return false;
    }
    const std::optional<std::string> text = input_.ReadText(kMaxInputBytes);
    if (text && CtiRecordText::Parse(*text).complete)
        return true;
    if (seenVersion_ != version) {
        seenVersion_ = version;
        seenSince_.start();
        return false;
    }
    return seenSince_.elapsed() >= kTickMs;
}

// The file is taken before it is read: what runs is one version of it, a command
// the client writes meanwhile is a new INPUT.INI, and a file that cannot be taken
// (nor deleted) is not run again at every tick.
void CtiFileInterface::RunClaimedInput()
{
    seenVersion_.reset();
    const std::optional<std::string> text = input_.Take(kMaxInputBytes);
    if (!text)
        return;
    const CtiRecordText input = CtiRecordText::Parse(*text);
    ExecuteCtiCommand(input.record.command, input.record.parameter);
}

void CtiFileInterface::ExecuteCtiCommand(const std::string& command, const std::string& parameter)
{
    const CtiCommandTable::Command* found = CtiCommandTable::Find(command, CtiTransport::TextFile);
    if (found == nullptr)
        return;
    const std::optional<CtiOutcome> outcome = runner_.Run(*found, parameter);
    if (outcome && outcome->endsProgram)
        runner_.EndProgram();
}

void CtiFileInterface::OutputTick()
{
    outputGuard_.Run([this] {
        if (output_.HasContent())
            return;
        // A record that could not be written stays first for the next tick.
        if (queue_.HasRecord() && !output_.Write(queue_.FirstRecord()))
            return;
        queue_.DropFirstQueuedEvent();
        ShowQueue();
    });
}

bool CtiFileInterface::WriteCtiOutput(const CtiEventQueue::Record& record)
{
    return output_.Write(record);
}

void CtiFileInterface::ShowQueue()
{
    std::string mirror = queue_.MirrorText();
    if (mirror == shownQueue_)
        return;
    shownQueue_ = std::move(mirror);
    emit QueueShown(QString::fromStdString(shownQueue_));
}
