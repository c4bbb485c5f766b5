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
}

void CtiFileInterface::Start()
{
    timerCTIInput->start(kTickMs);
    timerCTIOutput->start(kTickMs);
}

void CtiFileInterface::InputTick()
{
    inputGuard_.Run([this] {
        if (runner_.CanStart() && IsReadyToRun())
            RunClaimedInput();
    });
}

// A whole record (its three keys, and a line break after the last) runs at once.
// Anything else may be a client still writing, key by key or in pieces with pauses:
// it runs only once it has not changed for kSettleMs.
bool CtiFileInterface::IsReadyToRun()
{
    const std::optional<CtiRecordFile::Version> version = input_.CurrentVersion();
    if (!version) {
        seenVersion_.reset();
        return false;
    }
    const std::optional<std::string> text = input_.ReadText(kMaxInputBytes);
    if (text && CtiRecordText::Parse(*text).complete && text->back() == '\n')
        return true;
    if (seenVersion_ != version) {
        seenVersion_ = version;
        seenSince_.start();
        return false;
    }
    return seenSince_.elapsed() >= kSettleMs;
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
        CtiEventQueue::Record newest;
        if (output_.HasContent()) {
            // Nobody reads: the direct records show the latest state, as they would have.
            if (IsUnread() && queue_.TakeNewestDirect(newest)) {
                WriteOutput(newest);
                ShowQueue();
            }
            return;
        }
        // A record that could not be written stays first for the next tick.
        if (queue_.HasRecord() && !WriteOutput(queue_.FirstRecord()))
            return;
        queue_.DropFirstQueuedEvent();
        ShowQueue();
    });
}

bool CtiFileInterface::WriteCtiOutput(const CtiEventQueue::Record& record)
{
    if (!ClientIsConsuming())
        return WriteOutput(record);
    queue_.QueueDirect(record);
    ShowQueue();
    return true;
}

bool CtiFileInterface::WriteOutput(const CtiEventQueue::Record& record)
{
    if (!output_.Write(record))
        return false;
    outputVersion_ = output_.CurrentVersion();
    outputSince_.start();
    return true;
}

bool CtiFileInterface::IsUnread()
{
    const std::optional<CtiRecordFile::Version> version = output_.CurrentVersion();
    if (version != outputVersion_) {
        outputVersion_ = version;
        outputSince_.start();
    }
    return version && outputSince_.elapsed() >= kUnreadMs;
}

// An empty OUTPUT.INI with nothing waiting takes the record at once; otherwise the
// record would overtake the waiting ones, or land on one a client is about to read.
bool CtiFileInterface::ClientIsConsuming()
{
    if (!output_.HasContent())
        return queue_.HasRecord();
    return !IsUnread();
}

void CtiFileInterface::ShowQueue()
{
    std::string mirror = queue_.MirrorText();
    if (mirror == shownQueue_)
        return;
    shownQueue_ = std::move(mirror);
    emit QueueShown(QString::fromStdString(shownQueue_));
}
