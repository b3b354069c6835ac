// Reads a firmware image file into memory in full.
#include "FirmwareImage.h"

#include "UtilLog.h"

#include <QFile>

#include <new>

bool CheckFWFile(const QString& strPath, std::vector<unsigned char>& vecImage)
{
    vecImage.clear();
    QFile file(strPath);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    VORN_LOG("open %s success\n", qUtf8Printable(strPath));
    const qint64 iSize = file.size();
    VORN_LOG("len=%lld\n", static_cast<long long>(iSize));
    if (iSize <= 0 || iSize > c_iMaxFirmwareImageBytes)
        return false;
    try {
        vecImage.resize(static_cast<size_t>(iSize));
    } catch (const std::bad_alloc&) {
        return false;
    }
    // QFile::read moves at most what fits in one call; loop until the whole size is in.
    qint64 iRead = 0;
    while (iRead < iSize) {
        const qint64 iGot = file.read(reinterpret_cast<char*>(vecImage.data()) + iRead, iSize - iRead);
        if (iGot <= 0)
            break;
        iRead += iGot;
    }
    if (iRead != iSize) {
        vecImage = std::vector<unsigned char>();
        return false;
    }
    return true;
}
