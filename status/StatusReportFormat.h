// The status command's two outputs: lines for a person and JSON for scripts.
#pragma once

#include "PrinterStatusReport.h"
#include "UtilLanguageCtrl.h"

#include <QByteArray>
#include <QString>

// One block per printer: connection, state, toner, errors, warnings and the status file's age,
// after a line about the service. State and condition texts in the given language.
QString FormatStatusText(const stStatusReport& report, enLanguage language);

// The same facts with the texts in both languages; UTF-8, indented.
QByteArray FormatStatusJson(const stStatusReport& report);
