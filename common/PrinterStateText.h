// What a user is shown for one printer: its connection, its remaining toner, its state text
// and the balloon a change raises. The monitor's table and the console status command agree.
#pragma once

#include "PrinterRecords.h"
#include "UtilLanguageCtrl.h"

#include <QString>

enum enBalloonKind : int {
    BALLOON_NONE = 0,
    BALLOON_CRITICAL = 1, // the first error
    BALLOON_WARNING = 2,  // the first warning, when there is no error
};

struct stStatusPresentation {
    QString strStatusText;
    enBalloonKind enBalloon = BALLOON_NONE;
    QString strBalloonMessage;
};

// An error names the row by itself; otherwise the state's text, with the first warning in
// parentheses only while printing (the balloon carries the warning in every state).
stStatusPresentation DescribePrinterState(const stPrinterState& state, int iLanguage);

// Hundredths of a percent as "75.32%".
QString FormatRemainingToner(unsigned long dwRemainingToner);

// "USB", or "网络(" + port + ")" for every other connection kind.
QString FormatConnectType(const stPrinterInfo& info);
