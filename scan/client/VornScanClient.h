// Client side of the scan daemon's protocol, for the SANE backend, tests and developer tools:
// sends command records, reads replies and drives a whole network scan into page files.
#pragma once

#include "commDef.h"

#include <csignal>
#include <string>
#include <vector>

class VornScanClient {
public:
    struct stPage {
        int index;
        std::string fileName;
        long long bytes;
    };
    struct stScanOutcome {
        TCPScanStartRes start {};
        std::vector<TCPRecordRes> records;
        std::vector<stPage> pages;
        // Result of the last record: 5 (end of data) for a complete scan.
        int lastResult = -1;
    };

    VornScanClient() = default;
    ~VornScanClient();
    VornScanClient(const VornScanClient&) = delete;
    VornScanClient& operator=(const VornScanClient&) = delete;

    // Connects to the daemon; replies that do not come within timeoutSeconds count as failures.
    bool Connect(const char* address = "127.0.0.1", int port = kVornScanDaemonPort, int timeoutSeconds = 10);
    void Close();
    int Descriptor() const { return m_iFd; }

    // The command code and its record in one piece, as the daemon expects.
    bool SendCommand(int32_t code, const void* record, size_t size);
    bool SendRaw(const void* data, size_t size);
    bool Receive(void* data, size_t size);
    // True when nothing arrives within milliseconds (the daemon sent no reply).
    bool StaysSilent(int milliseconds);
    // A receive interrupted by a signal goes on waiting unless *flag is set then; without a
    // flag an interruption fails the receive. Lets a front-end's signal handler stop a wait.
    void SetInterruptFlag(const volatile sig_atomic_t* flag) { m_pInterrupt = flag; }
    // Reads and drops whatever arrives until the connection stays silent for quietMs (or
    // closes), so a stream of records cut short by an abort leaves nothing behind.
    void DrainUntilSilent(int quietMs);

    bool FindDevices(int vid, int pid, bool compareWithPid, int32_t& count, std::vector<USBFindDevRes>& devices);
    // For commands answered with a plain 4-byte result.
    bool ResultOf(int32_t code, const void* record, size_t size, int32_t& result);

    bool TcpScanStart(const char* scanner, const SettingInfo& info, TCPScanStartRes& reply);
    bool ReadTcpRecord(TCPRecordRes& record);
    bool TcpScanAbort(const char* scanner, const std::string& baseName, int32_t& result);
    bool TcpAdfStatus(const char* scanner, TCPADFStatusRes& reply);
    bool TcpDeviceProperties(const char* scanner, TCPDevPropertiesRes& reply);
    bool TcpSendOsl(const char* scanner, int type, TCPOSLRes& reply, std::string& body);
    bool DeleteFile(const std::string& fileName);

    // Starts a network scan and reads its records until one carries a non-zero result; pages
    // lists the page files the records announced, with their sizes on disk.
    bool RunTcpScan(const char* scanner, const SettingInfo& info, stScanOutcome& outcome);

    bool UsbScanLock(int devfd, const SettingInfo& info, int32_t& result);
    bool UsbScanStart(int devfd, USBScanStartRes& reply);
    bool ReadUsbRecord(USBScanRecordRes& record);
    bool UsbScanAbort(int devfd, const std::string& baseName, int32_t& result);
    bool UsbAdfStatus(int devfd, USBScanAdfStatusRes& reply);
    bool UsbDeviceProperties(int devfd, USBScanDevicePropertiesRes& reply);

    static VornSocket SocketFor(const char* scanner);
    static std::string PageFileName(const std::string& baseName, int page);

private:
    int m_iFd = -1;
    const volatile sig_atomic_t* m_pInterrupt = nullptr;
};
