// Publishing a file that other programs poll: readers see either the old or the new content,
// never half of it.
#pragma once

#include <QByteArray>
#include <QString>

// Writes the bytes to a hidden temporary file in the same folder, makes it 0644 and renames
// it over the target. False (and no trace left) when any step fails.
bool WriteFileAtomically(const QString& strPath, const QByteArray& baContent);
