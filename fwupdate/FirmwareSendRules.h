// How the updater sends one image and what it tells the user afterwards: the retry rule and the
// message for each result of the USB transport's firmware send.
#pragma once

#include "UtilLibusb.h"

#include <QString>

#include <functional>

// The transport's firmware send (FWUpdateTask); tests stand in for the USB bus with their own.
using FirmwareSendFunction = std::function<int(int iVendorId, int iProductId, const QString& strUri,
                                               const unsigned char* pImage, qint64 iLength,
                                               const FWUpdateProgress& progress)>;

constexpr int c_iMaxSendAttempts = 3;
// Long enough for the service to finish a status read that holds the printer's interface.
constexpr int c_iRetryDelayMs = 100;

struct stFirmwareSendOutcome {
    int iResult = USB_BULK_OK;
    int iAttempts = 0;
};

// True for the failures after which no byte of the image has reached the printer, so that
// sending the image again from its start cannot leave the printer with a garbled one.
bool IsFirmwareSendRetryable(int iResult);

// Sends the image, again after each retryable failure, up to c_iMaxSendAttempts in all; waits
// c_iRetryDelayMs after every failed attempt. Runs on the calling thread.
stFirmwareSendOutcome SendFirmwareWithRetry(const FirmwareSendFunction& send, int iVendorId, int iProductId,
                                            const QString& strUri, const unsigned char* pImage, qint64 iLength,
                                            const FWUpdateProgress& progress);

// The text of the message box that reports a send's last result.
QString MessageForSendResult(int iResult);
