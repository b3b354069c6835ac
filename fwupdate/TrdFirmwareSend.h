// The worker that sends a firmware image off the GUI thread, so the window keeps painting and
// shows the progress while a slow printer takes the image.
#pragma once

#include "FirmwareSendRules.h"

#include <QObject>
#include <QString>

#include <mutex>
#include <vector>

struct stFirmwareSendJob {
    int iVendorId = 0;
    int iProductId = 0;
    QString strUri;
    std::vector<unsigned char> vecImage;
};

class TrdFirmwareSend : public QObject {
    Q_OBJECT
public:
    explicit TrdFirmwareSend(FirmwareSendFunction send, QObject* parent = nullptr);

    // Called from the GUI thread: hands the job over and queues the send, retries included,
    // on the worker's thread. The image is freed when the send ends.
    void Start(stFirmwareSendJob job);

signals:
    void SgnProgress(qint64 iSentBytes, qint64 iTotalBytes);
    void SgnFinished(int iResult, int iAttempts);

private slots:
    void SlotSend();

private:
    const FirmwareSendFunction m_send;
    // Guards the job on its way from the GUI thread to the worker's.
    std::mutex m_mutexJob;
    stFirmwareSendJob m_job;
};
