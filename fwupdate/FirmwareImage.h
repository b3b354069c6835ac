// Reading the firmware image the user chose, whole, before anything is sent to the printer.
#pragma once

#include <QString>

#include <vector>

// The largest image the transport takes; bigger files are refused rather than sent in part.
constexpr qint64 c_iMaxFirmwareImageBytes = qint64(2) * 1024 * 1024 * 1024;

// Reads the whole file into vecImage. False, with vecImage empty, when the file cannot be
// opened or read in full, holds no bytes at all (an empty image would update nothing while the
// user is told the update went out), or is larger than c_iMaxFirmwareImageBytes.
bool CheckFWFile(const QString& strPath, std::vector<unsigned char>& vecImage);
