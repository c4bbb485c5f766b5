#include "softphone/MessageBoxes.h"
#include "softphone/QtMessageBoxes.h"

namespace {

MessageBoxes* installed = nullptr;

} // namespace

MessageBoxes& MessageBoxes::Current()
{
    static QtMessageBoxes qtBoxes;
    return installed != nullptr ? *installed : qtBoxes;
}

void MessageBoxes::Use(MessageBoxes* boxes)
{
    installed = boxes;
}
