// Sends one firmware image on the worker's thread and reports progress and the outcome.
#include "TrdFirmwareSend.h"

#include <utility>

TrdFirmwareSend::TrdFirmwareSend(FirmwareSendFunction send, QObject* parent)
    : QObject(parent)
    , m_send(std::move(send))
{
}

void TrdFirmwareSend::Start(stFirmwareSendJob job)
{
    // Held while the send is queued too: Qt's event queue orders the post before the slot, but
    // in code the thread sanitizer cannot see; the mutex makes that order visible to it.
    std::lock_guard<std::mutex> lock(m_mutexJob);
    m_job = std::move(job);
    QMetaObject::invokeMethod(this, "SlotSend", Qt::QueuedConnection);
}

void TrdFirmwareSend::SlotSend()
{
    stFirmwareSendJob job;
    {
        std::lock_guard<std::mutex> lock(m_mutexJob);
        std::swap(job, m_job);
    }
    const qint64 iTotal = static_cast<qint64>(job.vecImage.size());
    const stFirmwareSendOutcome outcome = SendFirmwareWithRetry(
        m_send, job.iVendorId, job.iProductId, job.strUri, job.vecImage.data(), iTotal,
        [this, iTotal](qint64 iSent) { emit SgnProgress(iSent, iTotal); });
    emit SgnFinished(outcome.iResult, outcome.iAttempts);
}
