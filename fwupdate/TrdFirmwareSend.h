// The worker that sends a firmware image off the GUI thread, so the window keeps painting and
// shows the progress while a slow printer takes the image.
#pragma once

#include "FirmwareSendRules.h"

#include <QObject>
#include <QString>

#include <memory>
#include <vector>

struct stFirmwareSendJob {
    int iVendorId = 0;
    int iProductId = 0;
    QString strUri;
    std::shared_ptr<const std::vector<unsigned char>> pImage;
};

class TrdFirmwareSend : public QObject {
    Q_OBJECT
public:
    explicit TrdFirmwareSend(FirmwareSendFunction send, QObject* parent = nullptr);

    // Runs the whole send, retries included, on the worker's thread; queue it there with
    // QMetaObject::invokeMethod. The job's image is released when the send ends.
    void Send(const stFirmwareSendJob& job);

signals:
    void SgnProgress(qint64 iSentBytes, qint64 iTotalBytes);
    void SgnFinished(int iResult, int iAttempts);

private:
    const FirmwareSendFunction m_send;
};
