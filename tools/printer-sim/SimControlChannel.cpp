// Line-based command input of the printer simulator.
#include "SimControlChannel.h"

#include <QDir>
#include <QLocalSocket>

#include <unistd.h>

namespace {
constexpr int c_iStdinChunkBytes = 4096;
}

SimControlChannel::SimControlChannel(SimCommandInterpreter& interpreter, SimEventLog& log, QObject* pParent)
    : QObject(pParent), m_interpreter(interpreter), m_log(log)
{
    connect(&m_server, &QLocalServer::newConnection, this, &SimControlChannel::SlotNewClient);
}

void SimControlChannel::ListenOnStdin()
{
    m_pStdinNotifier = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this);
    connect(m_pStdinNotifier, &QSocketNotifier::activated, this, &SimControlChannel::SlotReadStdin);
}

bool SimControlChannel::ListenInFolder(const QString& strFolder, QString& strError)
{
    const QString strPath = QDir(strFolder).filePath(QString::fromLatin1(c_szSocketName));
    QLocalServer::removeServer(strPath);
    if (!m_server.listen(strPath)) {
        strError = m_server.errorString();
        return false;
    }
    return true;
}

void SimControlChannel::SlotReadStdin()
{
    char szChunk[c_iStdinChunkBytes];
    const ssize_t iRead = read(STDIN_FILENO, szChunk, sizeof(szChunk));
    if (iRead <= 0) {
        // End of input (or /dev/null): the socket remains for control.
        m_pStdinNotifier->setEnabled(false);
        return;
    }
    m_baStdinPending.append(szChunk, int(iRead));
    int iEnd = 0;
    while ((iEnd = m_baStdinPending.indexOf('\n')) >= 0) {
        const QString strLine = QString::fromUtf8(m_baStdinPending.left(iEnd));
        m_baStdinPending.remove(0, iEnd + 1);
        for (const QString& strReply : m_interpreter.Execute(strLine))
            m_log.Print(strReply);
    }
}

void SimControlChannel::SlotNewClient()
{
    while (QLocalSocket* pClient = m_server.nextPendingConnection()) {
        connect(pClient, &QLocalSocket::disconnected, pClient, &QObject::deleteLater);
        connect(pClient, &QLocalSocket::readyRead, this, [this, pClient]() {
            while (pClient->canReadLine()) {
                const QString strLine = QString::fromUtf8(pClient->readLine());
                for (const QString& strReply : m_interpreter.Execute(strLine))
                    pClient->write(strReply.toUtf8() + '\n');
                pClient->flush();
            }
        });
    }
}
