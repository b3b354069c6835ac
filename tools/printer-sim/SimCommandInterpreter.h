// The printer simulator's line command language, shared by its configuration file, its
// standard input and its control socket.
#pragma once

#include "SimPrinterFleet.h"

#include <QString>
#include <QStringList>

#include <functional>

class SimCommandInterpreter {
public:
    SimCommandInterpreter(SimPrinterFleet& fleet, std::function<void()> fnQuit);

    // Runs one line. The reply ends with "ok" or "error: REASON"; "printers" and "help" put their
    // listing before it. Empty lines and lines starting with "#" (comments) are just "ok".
    QStringList Execute(const QString& strLine);

    static bool IsSuccess(const QStringList& listReply);
    static const char* HelpText();

private:
    QString Add(const QStringList& listWord);
    QString Set(const QStringList& listWord);
    QString SetField(SimPrinter& printer, const QString& strField, const QString& strValue);
    QString Counters(const QStringList& listWord);
    QString Condition(const QStringList& listWord);
    QString Clear(const QStringList& listWord);
    QString Switch(const QStringList& listWord, bool stSimPrinterState::*pbFlag);
    QString Plug(const QStringList& listWord, bool bPlug);
    QString Net(const QStringList& listWord);
    QString Image(const QStringList& listWord);
    QStringList Listing() const;
    QString PrinterLine(const SimPrinter& printer) const;
    std::shared_ptr<SimPrinter> Printer(const QString& strName, QString& strError) const;

    SimPrinterFleet& m_fleet;
    const std::function<void()> m_fnQuit;
};
