// Publishing a file that other programs poll: readers see either the old or the new content,
// never half of it.
#pragma once

#include <QByteArray>
#include <QString>

// Writes the bytes to a hidden temporary file in the same folder, makes it 0644 and renames
// it over the target. False (and no trace left) when any step fails.
bool WriteFileAtomically(const QString& strPath, const QByteArray& baContent);

// Tells one published file from another at the same path: every atomic write makes a new
// inode, so a file replaced by someone else no longer matches the stamp taken after our write.
struct stFileStamp {
    bool bValid = false;
    unsigned long long ullDevice = 0;
    unsigned long long ullInode = 0;
    long long llModifiedNs = 0;

    bool operator==(const stFileStamp& other) const
    {
        return bValid == other.bValid && ullDevice == other.ullDevice && ullInode == other.ullInode
            && llModifiedNs == other.llModifiedNs;
    }
};

// Invalid when the file does not exist.
stFileStamp FileStampOf(const QString& strPath);
