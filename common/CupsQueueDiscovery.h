// Turns CUPS state into the suite's queue lists: the scheduler's configuration file, the
// "lpstat -v" listing, and the PPD check that decides whether a queue belongs to the suite.
#pragma once

#include "ModelTable.h"
#include "PrinterRecords.h"
#include "VornPaths.h"

#include <QByteArray>
#include <QList>
#include <QString>

class CupsQueueDiscovery {
public:
    explicit CupsQueueDiscovery(const QString& strPrintersConf = VornPaths::c_strCupsPrintersConf,
                                const QString& strPpdDir = VornPaths::c_strCupsPpdDir);

    // Configuration discovery: printers.conf, else its ".O" backup. With bCheckDriver only
    // queues whose PPD names a supported model are returned, with strModel filled.
    QList<stPrinterInfo> GetPrinterInfo(bool bCheckDriver) const;
    // The same rules over a configuration file's bytes.
    QList<stPrinterInfo> ParsePrintersConf(const QByteArray& baContent, bool bCheckDriver) const;

    // Listing discovery: runs "lpstat -v" (no shell, output read from a pipe) and parses it.
    QList<stPrinterInfo> GetPrinterInfoFromListing(bool bCheckDriver) const;
    // The same rules over a listing's text (English or translated).
    QList<stPrinterInfo> ParseListing(const QString& strListing, bool bCheckDriver) const;

    // True when the queue's PPD names a supported model; strModel then receives the name as
    // the PPD spells it. Untouched on false.
    bool CheckDriverMatch(const QString& strQueue, QString& strModel) const;
    // The PPD rule over a PPD file's bytes.
    static bool FindSupportedModelName(const QByteArray& baPpd, QString& strModel);

private:
    const QString m_strPrintersConf;
    const QString m_strPpdDir;
};

// Applies the device-URI rules (usb -> 1, socket/vornsocket with "://" -> 2) to a record;
// false when the URI does not make the queue one of the suite's kinds.
bool ApplyDeviceUri(const QString& strURI, stPrinterInfo& info);

// URI lookup: the first row whose code followed by "?" occurs in the URI (case-sensitive).
bool GetPrinterVidPid(const QString& strURI, int& iVendorID, int& iProductID);
// The same lookup over the maintenance tool's table of network-capable models.
bool GetNetworkPrinterVidPid(const QString& strURI, int& iVendorID, int& iProductID);
// Model-name lookup: the first row whose display name equals the name, ignoring case.
bool GetPrinterVidPidByModelName(const QString& strModelName, int& iVendorID, int& iProductID);
