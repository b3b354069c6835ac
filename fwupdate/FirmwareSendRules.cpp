// The retry rule of a firmware send and the message that reports its result.
#include "FirmwareSendRules.h"

#include "FirmwareUpdateTexts.h"

#include <QThread>

bool IsFirmwareSendRetryable(int iResult)
{
    return iResult >= USB_BULK_CLAIM_FAILED && iResult <= USB_BULK_INIT_FAILED;
}

stFirmwareSendOutcome SendFirmwareWithRetry(const FirmwareSendFunction& send, int iVendorId, int iProductId,
                                            const QString& strUri, const unsigned char* pImage, qint64 iLength,
                                            const FWUpdateProgress& progress)
{
    stFirmwareSendOutcome outcome;
    while (outcome.iAttempts < c_iMaxSendAttempts) {
        ++outcome.iAttempts;
        outcome.iResult = send(iVendorId, iProductId, strUri, pImage, iLength, progress);
        if (outcome.iResult == USB_BULK_OK)
            break;
        QThread::msleep(c_iRetryDelayMs);
        if (!IsFirmwareSendRetryable(outcome.iResult))
            break;
    }
    return outcome;
}

QString MessageForSendResult(int iResult)
{
    using namespace FirmwareUpdateTexts;
    switch (iResult) {
    case USB_BULK_OK:
        return c_strUpdateSent;
    case USB_BULK_TRANSFER_FAILED:
        return c_strCommunicationFailed;
    case USB_BULK_SEND_FAILED:
        return c_strReadFileFailed;
    case USB_BULK_CLAIM_FAILED:
    case USB_BULK_OPEN_FAILED:
    case USB_BULK_NO_ENDPOINT:
    case USB_BULK_ENUMERATION_FAILED:
        return c_strConnectFailed;
    case USB_BULK_INIT_FAILED:
        return c_strInterfaceInitFailed;
    default:
        return c_strUnknownError;
    }
}
