// Temporary file beside the target, then rename: the rename is atomic within one folder.
#include "AtomicFile.h"

#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace {

constexpr mode_t c_modePublished = 0644;

bool WriteAll(int iFd, const QByteArray& baContent)
{
    const char* p = baContent.constData();
    qint64 iLeft = baContent.size();
    while (iLeft > 0) {
        const ssize_t iWritten = ::write(iFd, p, size_t(iLeft));
        if (iWritten < 0 && errno == EINTR)
            continue;
        if (iWritten <= 0)
            return false;
        p += iWritten;
        iLeft -= iWritten;
    }
    return true;
}

} // namespace

bool WriteFileAtomically(const QString& strPath, const QByteArray& baContent)
{
    const QFileInfo info(strPath);
    // Hidden, and not ending in the target's suffix, so folder scans for "*.dat" skip it.
    QByteArray baTemplate = QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName()
                                              + QStringLiteral(".XXXXXX"));
    const int iFd = ::mkostemp(baTemplate.data(), O_CLOEXEC);
    if (iFd < 0)
        return false;
    const bool bWritten = WriteAll(iFd, baContent) && ::fchmod(iFd, c_modePublished) == 0;
    const bool bClosed = ::close(iFd) == 0;
    if (bWritten && bClosed && ::rename(baTemplate.constData(), QFile::encodeName(strPath).constData()) == 0)
        return true;
    ::unlink(baTemplate.constData());
    return false;
}

stFileStamp FileStampOf(const QString& strPath)
{
    stFileStamp stamp;
    struct stat st {};
    if (::stat(QFile::encodeName(strPath).constData(), &st) != 0)
        return stamp;
    stamp.bValid = true;
    stamp.ullDevice = st.st_dev;
    stamp.ullInode = st.st_ino;
    stamp.llModifiedNs = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    return stamp;
}
