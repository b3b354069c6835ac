// How a USB printer's address (a CUPS device URI, or its part after "usb://") names one device:
// its "serial" query item, matched as a case-insensitive prefix of the device's serial number.
#pragma once

#include <QString>

// The "serial" item of a USB address or device URI; empty when it has none.
QString SerialFromDeviceAddress(const QString& strPort);
// A device serial belongs to the address when the address's serial is a prefix of it,
// ignoring case; an address without serial accepts any device.
bool SerialMatches(const QString& strAddressSerial, const QString& strDeviceSerial);
