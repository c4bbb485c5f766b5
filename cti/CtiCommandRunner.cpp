#include "cti/CtiCommandRunner.h"

std::optional<CtiOutcome> CtiCommandRunner::Run(const CtiCommandTable::Command& command,
                                                const std::string& parameter)
{
    // Status has nothing to run on the phone; its answer is the snapshot.
    if (command.run == nullptr)
        return CtiOutcome::Done();
    if (phone_.IsBusy())
        return std::nullopt;
    CtiOutcome outcome;
    if (!guard_.Run([&] { outcome = command.run(phone_, parameter); }))
        return std::nullopt;
    NotifyIdle();
    return outcome;
}
