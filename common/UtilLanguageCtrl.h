// The texts that name a printer's state and its error or warning conditions, in English and
// Chinese; shared by the status monitor and the console status command.
#pragma once

#include "PrinterStatusEnums.h"

#include <QString>

// Column of the text tables; the graphical monitor always uses Chinese.
enum enLanguage : int {
    LANGUAGE_ENGLISH = 0,
    LANGUAGE_CHINESE = 1,
};

namespace UtilLanguageCtrl {
constexpr int c_iLanguageCount = 2;
constexpr int c_iStatusCodeCount = PS_REPORTING + 1;
constexpr int c_iErrorCodeCount = ERR_IP_CONFLICT + 1;
} // namespace UtilLanguageCtrl

// Row-major, English then Chinese: the text for code c in language l is element 2 * c + l.
extern const QString c_strStatusLanguageText[UtilLanguageCtrl::c_iStatusCodeCount * UtilLanguageCtrl::c_iLanguageCount];
extern const QString c_strErrorDescText[UtilLanguageCtrl::c_iErrorCodeCount * UtilLanguageCtrl::c_iLanguageCount];

// The decoder never yields a code outside the tables, but a state can come from elsewhere:
// an unknown code reads as code 0 and an unknown language as Chinese rather than past the end.
QString GetStatusText(int iStatus, int iLanguage);
QString GetErrorDescText(int iError, int iLanguage);
