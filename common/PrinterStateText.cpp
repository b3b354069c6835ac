// Column texts and balloon choice for one printer row.
#include "PrinterStateText.h"

stStatusPresentation DescribePrinterState(const stPrinterState& state, int iLanguage)
{
    stStatusPresentation presentation;
    if (!state.listError.isEmpty()) {
        presentation.strStatusText = GetErrorDescText(state.listError.first(), iLanguage);
        presentation.enBalloon = BALLOON_CRITICAL;
        presentation.strBalloonMessage = presentation.strStatusText;
        return presentation;
    }
    presentation.strStatusText = GetStatusText(state.enCurrentStatus, iLanguage);
    if (!state.listWarning.isEmpty()) {
        const QString strWarning = GetErrorDescText(state.listWarning.first(), iLanguage);
        presentation.enBalloon = BALLOON_WARNING;
        presentation.strBalloonMessage = strWarning;
        if (state.enCurrentStatus == PS_PRINTING)
            presentation.strStatusText += QStringLiteral("(") + strWarning + QStringLiteral(")");
    }
    return presentation;
}

QString FormatRemainingToner(unsigned long dwRemainingToner)
{
    return QString::asprintf("%.2f%%", dwRemainingToner / 100.0);
}

QString FormatConnectType(const stPrinterInfo& info)
{
    if (info.iConnectType == CONNECT_USB)
        return QStringLiteral("USB");
    return QStringLiteral("网络(") + info.strPort + QStringLiteral(")");
}
