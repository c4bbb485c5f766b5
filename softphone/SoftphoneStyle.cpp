#include "softphone/SoftphoneStyle.h"

QString SoftphoneStyle::DefaultSheet()
{
    return QStringLiteral(R"(
#frameDisplay { background: #1d2b26; border: 1px solid #0e1512; border-radius: 6px; }
#frameDisplay QLabel { color: #c8f2dc; }
#lblDisplayStatus { font-size: 10pt; }
#lblDisplay1 { font-size: 17pt; font-weight: bold; min-height: 30px; }
#lblDisplayCodec { font-size: 9pt; color: #86b89c; min-height: 14px; }
QPushButton[dialKey="true"] { font-size: 14pt; font-weight: bold; min-width: 44px; min-height: 34px; }
#cmdChamar, #cmdAtender { background: #2e8b57; color: white; font-weight: bold; min-height: 28px; }
#cmdDesligar, #cmdRejeitar { background: #b03a2e; color: white; font-weight: bold; min-height: 28px; }
#cmdCancelar, #cmdTransfer, #cmdHold { min-height: 28px; }
#cmdMenu, #cmdMinimizar, #cmdFechar { min-width: 22px; max-width: 22px; }
#lblTitle { font-weight: bold; color: #2e5e4e; }
#frameVolumes QProgressBar { background: #1d2b26; border: 1px solid #0e1512; border-radius: 2px; }
#frameVolumes QProgressBar::chunk { background: #3cb371; }
#frameVolumes QLabel { font-size: 8pt; color: #555555; }
#frmIncommingCall { background: #1d2b26; }
#frmIncommingCall QLabel { color: #c8f2dc; }
#frmIncommingCall #lblName { font-size: 15pt; font-weight: bold; }
#frmIncommingCall #cmdAnswer { background: #2e8b57; color: white; font-weight: bold; min-height: 26px; }
#frmIncommingCall #cmdRegect { background: #b03a2e; color: white; font-weight: bold; min-height: 26px; }
)");
}
