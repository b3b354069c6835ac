// How the updater sends one image and what it tells the user afterwards: the retry rule and the
// message for each result of the USB transport's firmware send.
#pragma once

#include <QString>

#include <functional>

// Called on the sending thread after every chunk that went out in full: bytes sent so far.
using FirmwareSendProgress = std::function<void(qint64 iSentBytes)>;
// The transport's firmware send (FWUpdateTask); tests stand in for the USB bus with their own.
using FirmwareSendFunction = std::function<int(int iVendorId, int iProductId, const QString& strUri,
                                               const unsigned char* pImage, qint64 iLength,
                                               const FirmwareSendProgress& progress)>;

// Results of the transport's firmware send. -1 to -5 fail before the first byte of the image
// leaves; -7 may leave part of it in the printer.
enum enFirmwareSendResult : int {
    FW_SEND_OK = 0,
    FW_SEND_INIT_FAILED = -1,
    FW_SEND_ENUMERATION_FAILED = -2,
    FW_SEND_NO_PRINTER_INTERFACE = -3,
    FW_SEND_OPEN_FAILED = -4,
    FW_SEND_CLAIM_FAILED = -5,
    FW_SEND_IMAGE_UNREADABLE = -6,
    FW_SEND_CHUNK_FAILED = -7,
};

constexpr int c_iMaxSendAttempts = 3;
// Long enough for the service to finish a status read that holds the printer's interface.
constexpr int c_iRetryDelayMs = 100;

struct stFirmwareSendOutcome {
    int iResult = FW_SEND_OK;
    int iAttempts = 0;
};

// True for the failures after which no byte of the image has reached the printer, so that
// sending the image again from its start cannot leave the printer with a garbled one.
bool IsFirmwareSendRetryable(int iResult);

// Sends the image, again after each retryable failure, up to c_iMaxSendAttempts in all; waits
// c_iRetryDelayMs after every failed attempt. Runs on the calling thread.
stFirmwareSendOutcome SendFirmwareWithRetry(const FirmwareSendFunction& send, int iVendorId, int iProductId,
                                            const QString& strUri, const unsigned char* pImage, qint64 iLength,
                                            const FirmwareSendProgress& progress);

// The text of the message box that reports a send's last result.
QString MessageForSendResult(int iResult);
