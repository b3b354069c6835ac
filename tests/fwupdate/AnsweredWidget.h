// The updater's window with its message boxes answered by the test instead of a user, and the
// helpers the updater's tests share to fill a configuration folder and click through an update.
#pragma once

#include "PrinterListFile.h"
#include "Widget.h"

#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>

#include <gtest/gtest.h>

class AnsweredWidget : public Widget {
public:
    using Widget::Widget;
    QStringList listMessage;
    QStringList listQuestion;
    int iAnswer = QMessageBox::Ok;

    int ShowMessageBoxOk(const QString& strMessage) override
    {
        listMessage << strMessage;
        return QMessageBox::Ok;
    }
    int ShowMessageBoxOkCancel(const QString& strMessage) override
    {
        listQuestion << strMessage;
        return iAnswer;
    }

    template <typename T> T* Child(const char* szName) { return findChild<T*>(QLatin1String(szName)); }

    // Selects a row (or none when negative), types the path and clicks the update button; when
    // a send starts, waits until its result has been reported. The attempts made, or 0.
    int ClickUpdate(int iRow, const QString& strPath, int iTimeoutMs = 30000)
    {
        if (iRow >= 0)
            Child<QTableWidget>("tablePrinterList")->setCurrentCell(iRow, 0);
        Child<QLineEdit>("lineFilePath")->setText(strPath);
        QSignalSpy spyFinished(this, &Widget::SgnUpdateFinished);
        Child<QPushButton>("buttonOK")->click();
        if (!IsSending())
            return 0;
        EXPECT_TRUE(spyFinished.wait(iTimeoutMs)) << "the send did not end";
        return spyFinished.isEmpty() ? 0 : spyFinished.first().at(1).toInt();
    }
};

inline bool WriteTestFile(const QString& strPath, const QByteArray& baContent)
{
    QFile file(strPath);
    return file.open(QIODevice::WriteOnly) && file.write(baContent) == baContent.size();
}

// Bytes that differ from position to position, so a lost, repeated or shifted chunk shows.
inline QByteArray PatternedImage(int iBytes)
{
    QByteArray baImage(iBytes, '\0');
    for (int i = 0; i < iBytes; ++i)
        baImage[i] = char(i * 7 + i / 251);
    return baImage;
}
