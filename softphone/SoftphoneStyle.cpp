#include "softphone/SoftphoneStyle.h"

#include "SoftphoneStyleSheet.h"

QString SoftphoneStyle::DefaultSheet()
{
    return QString::fromUtf8(kSoftphoneStyleSheet);
}
