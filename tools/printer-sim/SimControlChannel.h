// The simulator's control channels: commands arrive as lines on standard input and on a unix
// socket "control.sock" in a folder given on the command line; replies go back where the
// command came from.
#pragma once

#include "SimCommandInterpreter.h"
#include "SimEventLog.h"

#include <QLocalServer>
#include <QObject>
#include <QSocketNotifier>

class SimControlChannel : public QObject {
    Q_OBJECT
public:
    static constexpr const char* c_szSocketName = "control.sock";

    SimControlChannel(SimCommandInterpreter& interpreter, SimEventLog& log, QObject* pParent = nullptr);

    void ListenOnStdin();
    // False with the reason when the socket cannot be created in that folder.
    bool ListenInFolder(const QString& strFolder, QString& strError);

private slots:
    void SlotReadStdin();
    void SlotNewClient();

private:
    SimCommandInterpreter& m_interpreter;
    SimEventLog& m_log;
    QSocketNotifier* m_pStdinNotifier = nullptr;
    QByteArray m_baStdinPending;
    QLocalServer m_server;
};
