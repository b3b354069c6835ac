// The retry rule of a firmware send and the message that reports its result.
#include "FirmwareSendRules.h"

#include "FirmwareUpdateTexts.h"

#include <QThread>

bool IsFirmwareSendRetryable(int iResult)
{
    return iResult >= FW_SEND_CLAIM_FAILED && iResult <= FW_SEND_INIT_FAILED;
}

stFirmwareSendOutcome SendFirmwareWithRetry(const FirmwareSendFunction& send, int iVendorId, int iProductId,
                                            const QString& strUri, const unsigned char* pImage, qint64 iLength,
                                            const FirmwareSendProgress& progress)
{
    stFirmwareSendOutcome outcome;
    while (outcome.iAttempts < c_iMaxSendAttempts) {
        ++outcome.iAttempts;
        outcome.iResult = send(iVendorId, iProductId, strUri, pImage, iLength, progress);
        if (outcome.iResult == FW_SEND_OK)
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
    case FW_SEND_OK:
        return c_strUpdateSent;
    case FW_SEND_CHUNK_FAILED:
        return c_strCommunicationFailed;
    case FW_SEND_IMAGE_UNREADABLE:
        return c_strReadFileFailed;
    case FW_SEND_CLAIM_FAILED:
    case FW_SEND_OPEN_FAILED:
    case FW_SEND_NO_PRINTER_INTERFACE:
    case FW_SEND_ENUMERATION_FAILED:
        return c_strConnectFailed;
    case FW_SEND_INIT_FAILED:
        return c_strInterfaceInitFailed;
    default:
        return c_strUnknownError;
    }
}
