// Sends one firmware image on the worker's thread and reports progress and the outcome.
#include "TrdFirmwareSend.h"

#include <utility>

TrdFirmwareSend::TrdFirmwareSend(FirmwareSendFunction send, QObject* parent)
    : QObject(parent)
    , m_send(std::move(send))
{
}

void TrdFirmwareSend::Send(const stFirmwareSendJob& job)
{
    const qint64 iTotal = static_cast<qint64>(job.pImage->size());
    const stFirmwareSendOutcome outcome = SendFirmwareWithRetry(
        m_send, job.iVendorId, job.iProductId, job.strUri, job.pImage->data(), iTotal,
        [this, iTotal](qint64 iSent) { emit SgnProgress(iSent, iTotal); });
    emit SgnFinished(outcome.iResult, outcome.iAttempts);
}
