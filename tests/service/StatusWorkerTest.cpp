// The status worker against a fake USB printer, loopback UDP printers and canned CUPS output:
// poll decision, reads, off-line rules, the status file, and the job watch's cancels.
#include "ServiceTestDoubles.h"
#include "TrdGetPrinterStatus.h"
#include "UtilPrinterStatus.h"

#include <QDir>
#include <QFile>

#include <cups/ipp.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <thread>

namespace {

const QString c_strQueue = QStringLiteral("OfficeLaser");
const QString c_strUsbPort = QStringLiteral("Vorn/VC5100DN?serial=SN0001");

QByteArray MakeRecord(uint8_t byStatusCode, QList<uint16_t> listError = {}, QList<uint16_t> listWarning = {})
{
    stStatusRecordFields fields;
    fields.baVenderName = "VORN";
    fields.baProductName = "VC5100DN";
    fields.baPrinterSerialNumber = "SN0001";
    fields.byStatusCode = byStatusCode;
    fields.baFWVersion = "1.0";
    fields.listErrorCode = listError;
    fields.listWarningCode = listWarning;
    fields.listSupply = {MakeNumberSupplyItem(SUPPLY_REMAINING_TONER, 7532, 2)};
    return EncodeStatusRecord(fields);
}

// What a USB printer answers: the record without the 7-byte head.
QByteArray UsbReply(uint8_t byStatusCode, QList<uint16_t> listError = {}, QList<uint16_t> listWarning = {})
{
    return MakeRecord(byStatusCode, listError, listWarning).mid(7);
}

QByteArray ReadFile(const QString& strPath)
{
    QFile file(strPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ino_t InodeOf(const QString& strPath)
{
    struct stat st {};
    return ::stat(QFile::encodeName(strPath).constData(), &st) == 0 ? st.st_ino : 0;
}

mode_t ModeOf(const QString& strPath)
{
    struct stat st {};
    return ::stat(QFile::encodeName(strPath).constData(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

// A port on 127.0.0.1 where nothing listens: the status request is refused at once.
uint16_t DeadPort()
{
    LoopbackUdpPrinter probe;
    return probe.Port();
}

class StatusWorker : public ::testing::Test {
protected:
    stPrinterManager Printer(int iConnectType, const QString& strPort, enPrinterStatus enStatus = PS_OFFLINE)
    {
        stPrinterManager printer;
        printer.stInfo.strName = c_strQueue;
        printer.stInfo.iConnectType = iConnectType;
        printer.stInfo.strPort = strPort;
        printer.stInfo.strURI = (iConnectType == CONNECT_USB ? QStringLiteral("usb://") : QStringLiteral("socket://")) + strPort;
        printer.stState.enCurrentStatus = enStatus;
        printer.bNeedStatus = true;
        return printer;
    }

    TrdGetPrinterStatus& Worker()
    {
        if (!m_pWorker) {
            m_pWorker = std::make_unique<TrdGetPrinterStatus>(nullptr, m_test.env);
            m_pWorker->Init(0, &m_list);
        }
        return *m_pWorker;
    }

    // The worker serves this printer, which is the first entry of the shared list.
    void Serve(const stPrinterManager& printer)
    {
        m_list.Replace({printer});
        Worker().SetCurrentPrinter(printer);
    }

    QString StatusFile() const { return m_test.env.strCfgDir + c_strQueue + QStringLiteral(".dat"); }

    stTestEnvironment m_test;
    SharedPrinterList m_list;
    std::unique_ptr<TrdGetPrinterStatus> m_pWorker;
};

} // namespace

TEST_F(StatusWorker, PollDecisionFollowsConnectionAndState)
{
    int iPeriodMs = 0;
    EXPECT_TRUE(Worker().CheckNeedStatus(Printer(CONNECT_USB, c_strUsbPort, PS_READY), iPeriodMs));
    EXPECT_EQ(iPeriodMs, 1500);
    EXPECT_TRUE(Worker().CheckNeedStatus(Printer(CONNECT_NETWORK, "127.0.0.1", PS_OFFLINE), iPeriodMs));
    EXPECT_EQ(iPeriodMs, 10000);
    EXPECT_TRUE(Worker().CheckNeedStatus(Printer(CONNECT_NETWORK, "127.0.0.1", PS_PRINTING), iPeriodMs));
    EXPECT_EQ(iPeriodMs, 1000);
    // None of these needed to ask CUPS.
    EXPECT_TRUE(m_test.pCups->Questions().isEmpty());
}

TEST_F(StatusWorker, ReadyNetworkPrinterIsPolledOnlyWhileItsQueuePrints)
{
    int iPeriodMs = 0;
    EXPECT_FALSE(Worker().CheckNeedStatus(Printer(CONNECT_NETWORK, "127.0.0.1", PS_READY), iPeriodMs));
    EXPECT_EQ(iPeriodMs, 100);
    EXPECT_EQ(m_test.pCups->Questions(), QStringList{"printing " + c_strQueue});

    m_test.pCups->SetQueuePrinting(true);
    EXPECT_TRUE(Worker().CheckNeedStatus(Printer(CONNECT_NETWORK, "127.0.0.1", PS_READY), iPeriodMs));
    EXPECT_EQ(iPeriodMs, 1000);
}

TEST_F(StatusWorker, UsbRecordIsPublishedBehindSevenZeroBytes)
{
    const QByteArray baReply = UsbReply(0x10, {0x1106});
    m_test.pUsb->SetStatusReply(0, baReply);
    Serve(Printer(CONNECT_USB, c_strUsbPort));
    Worker().ReadPrinter();

    EXPECT_EQ(ReadFile(StatusFile()), QByteArray(7, '\0') + baReply);
    EXPECT_EQ(ModeOf(StatusFile()), 0644u);
    const stPrinterState& state = Worker().CurrentPrinter().stState;
    EXPECT_EQ(state.enCurrentStatus, PS_PRINTING);
    EXPECT_EQ(state.listError, QList<enErrorStatus>{ERR_FRONT_COVER_OPEN});
    EXPECT_EQ(state.dwRemainingToner, 7532u);
    const QList<stUsbRequest> listRequest = m_test.pUsb->Requests(0x33);
    ASSERT_EQ(listRequest.size(), 1);
    EXPECT_EQ(listRequest.first().strPort, c_strUsbPort);
    EXPECT_EQ(listRequest.first().wLength, 1024);
    // Only the status file: no temporary file left behind.
    EXPECT_EQ(QDir(m_test.env.strCfgDir).entryList(QDir::Files | QDir::Hidden), QStringList{c_strQueue + ".dat"});
}

TEST_F(StatusWorker, UnpluggedUsbPrinterGoesOfflineAtOnce)
{
    m_test.pUsb->SetStatusReply(0, UsbReply(0x00, {0x1106}, {0x110D}));
    Serve(Printer(CONNECT_USB, c_strUsbPort));
    Worker().ReadPrinter();
    ASSERT_TRUE(QFile::exists(StatusFile()));

    m_test.pUsb->SetStatusReply(-5);
    Worker().ReadPrinter();
    EXPECT_FALSE(QFile::exists(StatusFile()));
    const stPrinterState& state = Worker().CurrentPrinter().stState;
    EXPECT_EQ(state.enCurrentStatus, PS_OFFLINE);
    EXPECT_TRUE(state.listError.isEmpty());
    EXPECT_TRUE(state.listWarning.isEmpty());
    EXPECT_EQ(state.iNumberOfError, 0);
    EXPECT_EQ(state.iNumberOfWarning, 0);
}

TEST_F(StatusWorker, OtherUsbFailuresKeepStateAndFile)
{
    const QByteArray baReply = UsbReply(0x00);
    m_test.pUsb->SetStatusReply(0, baReply);
    Serve(Printer(CONNECT_USB, c_strUsbPort));
    Worker().ReadPrinter();
    for (int iResult : {-6, -4, -1, -7}) {
        m_test.pUsb->SetStatusReply(iResult);
        Worker().ReadPrinter();
        EXPECT_EQ(ReadFile(StatusFile()), QByteArray(7, '\0') + baReply) << iResult;
        EXPECT_EQ(Worker().CurrentPrinter().stState.enCurrentStatus, PS_READY) << iResult;
    }
}

TEST_F(StatusWorker, NetworkPrinterGoesOfflineOnSixthFailedReadInARow)
{
    m_test.env.wUdpPort = DeadPort();
    stPrinterManager printer = Printer(CONNECT_NETWORK, "127.0.0.1", PS_PRINTING);
    printer.stState.listWarning = {ERR_TONER_LOW};
    Serve(printer);
    QFile file(StatusFile());
    QDir().mkpath(m_test.env.strCfgDir);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    for (int i = 1; i <= 5; ++i) {
        Worker().ReadPrinter();
        EXPECT_EQ(Worker().CurrentPrinter().stState.iFailCount, i);
        EXPECT_EQ(Worker().CurrentPrinter().stState.enCurrentStatus, PS_PRINTING);
        EXPECT_TRUE(QFile::exists(StatusFile()));
    }
    Worker().ReadPrinter();
    EXPECT_EQ(Worker().CurrentPrinter().stState.enCurrentStatus, PS_OFFLINE);
    EXPECT_TRUE(Worker().CurrentPrinter().stState.listWarning.isEmpty());
    EXPECT_EQ(Worker().CurrentPrinter().stState.iFailCount, 0);
    EXPECT_FALSE(QFile::exists(StatusFile()));
}

TEST_F(StatusWorker, NetworkReplyIsPublishedExactlyAndResetsFailCount)
{
    LoopbackUdpPrinter printer;
    m_test.env.wUdpPort = printer.Port();
    const QByteArray baReply = QByteArray("\xA5\x00\x40\x50\xE0\x74\x08", 7) + MakeRecord(0x00).mid(7);
    std::thread responder([&] {
        sockaddr_in from{};
        const QByteArray baRequest = printer.Receive(5000, &from);
        EXPECT_EQ(baRequest, QByteArray("\xA5\x00\x0C\x50\xE0\x74\x08\x03\x00\x00\x00\x00\x00\x00\x00", 15));
        printer.SendTo(from, baReply);
    });
    stPrinterManager entry = Printer(CONNECT_NETWORK, "127.0.0.1", PS_PRINTING);
    entry.stState.iFailCount = 4;
    Serve(entry);
    Worker().ReadPrinter();
    responder.join();

    EXPECT_EQ(ReadFile(StatusFile()), baReply);
    EXPECT_EQ(Worker().CurrentPrinter().stState.iFailCount, 0);
    EXPECT_EQ(Worker().CurrentPrinter().stState.enCurrentStatus, PS_READY);
}

TEST_F(StatusWorker, NetworkReplyFromAnotherSenderIsIgnored)
{
    LoopbackUdpPrinter printer;
    LoopbackUdpPrinter intruder;
    m_test.env.wUdpPort = printer.Port();
    const QByteArray baGenuine = MakeRecord(0x00);
    std::thread responder([&] {
        sockaddr_in from{};
        printer.Receive(5000, &from);
        intruder.SendTo(from, MakeRecord(0x10, {0x1212}));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        printer.SendTo(from, baGenuine);
    });
    Serve(Printer(CONNECT_NETWORK, "127.0.0.1"));
    EXPECT_EQ(Worker().GetPrinterStatusUDP("127.0.0.1"), 0);
    responder.join();
    EXPECT_EQ(ReadFile(StatusFile()), baGenuine);
}

TEST_F(StatusWorker, ShortOrMissingNetworkReplyIsAFailureAndWritesNothing)
{
    LoopbackUdpPrinter printer;
    m_test.env.wUdpPort = printer.Port();
    std::thread responder([&] {
        sockaddr_in from{};
        printer.Receive(5000, &from);
        printer.SendTo(from, QByteArray(7, '\x01'));
    });
    Serve(Printer(CONNECT_NETWORK, "127.0.0.1"));
    EXPECT_EQ(Worker().GetPrinterStatusUDP("127.0.0.1"), -5);
    responder.join();
    EXPECT_FALSE(QFile::exists(StatusFile()));
    EXPECT_EQ(Worker().GetPrinterStatusUDP(QString()), -1);
    EXPECT_EQ(Worker().GetPrinterStatusUDP("printer.example"), -1);
}

TEST_F(StatusWorker, UnchangedRecordDoesNotRewriteStatusFile)
{
    const QByteArray baRecord = MakeRecord(0x00);
    const auto* pRecord = reinterpret_cast<const unsigned char*>(baRecord.constData());
    Serve(Printer(CONNECT_NETWORK, "127.0.0.1"));
    EXPECT_EQ(Worker().CheckPrinterStatus(pRecord, baRecord.size()), 0);
    EXPECT_EQ(Worker().CheckPrinterStatus(pRecord, baRecord.size()), 0);
    const ino_t inode = InodeOf(StatusFile());
    for (int i = 0; i < 3; ++i)
        Worker().CheckPrinterStatus(pRecord, baRecord.size());
    EXPECT_EQ(InodeOf(StatusFile()), inode);

    // Deleted by hand: published again although unchanged.
    QFile::remove(StatusFile());
    Worker().CheckPrinterStatus(pRecord, baRecord.size());
    EXPECT_EQ(ReadFile(StatusFile()), baRecord);

    const QByteArray baChanged = MakeRecord(0x10);
    Worker().CheckPrinterStatus(reinterpret_cast<const unsigned char*>(baChanged.constData()), baChanged.size());
    EXPECT_EQ(ReadFile(StatusFile()), baChanged);
}

// When the queue list shifts, another worker serves this queue for a while and writes its
// file; back at its old index, this worker must not take the file for its own last record.
TEST_F(StatusWorker, StatusFileRewrittenByAnotherWorkerIsPublishedAgain)
{
    const QByteArray baReady = MakeRecord(0x00);
    const QByteArray baError = MakeRecord(0x00, {0x1106});
    const auto* pReady = reinterpret_cast<const unsigned char*>(baReady.constData());
    Serve(Printer(CONNECT_NETWORK, "127.0.0.1"));
    Worker().CheckPrinterStatus(pReady, baReady.size());
    Worker().CheckPrinterStatus(pReady, baReady.size());

    TrdGetPrinterStatus otherWorker(nullptr, m_test.env);
    otherWorker.Init(0, &m_list);
    otherWorker.SetCurrentPrinter(Printer(CONNECT_NETWORK, "127.0.0.1"));
    otherWorker.CheckPrinterStatus(reinterpret_cast<const unsigned char*>(baError.constData()), baError.size());
    ASSERT_EQ(ReadFile(StatusFile()), baError);

    Worker().CheckPrinterStatus(pReady, baReady.size());
    EXPECT_EQ(ReadFile(StatusFile()), baReady);
}

TEST_F(StatusWorker, RecordThatCouldNotBeWrittenIsWrittenWithTheNextIdenticalOne)
{
    const QByteArray baReady = MakeRecord(0x00);
    const QByteArray baError = MakeRecord(0x00, {0x1106});
    Serve(Printer(CONNECT_NETWORK, "127.0.0.1"));
    Worker().CheckPrinterStatus(reinterpret_cast<const unsigned char*>(baReady.constData()), baReady.size());
    {
        DiskFullAfter diskFull(8);
        Worker().CheckPrinterStatus(reinterpret_cast<const unsigned char*>(baError.constData()), baError.size());
    }
    ASSERT_EQ(ReadFile(StatusFile()), baReady);
    // The decoded state follows the printer even when the file could not.
    EXPECT_EQ(Worker().CurrentPrinter().stState.listError, QList<enErrorStatus>{ERR_FRONT_COVER_OPEN});

    Worker().CheckPrinterStatus(reinterpret_cast<const unsigned char*>(baError.constData()), baError.size());
    EXPECT_EQ(ReadFile(StatusFile()), baError);
}

TEST_F(StatusWorker, UndecodableRecordIsPublishedButLeavesStateAlone)
{
    Serve(Printer(CONNECT_NETWORK, "127.0.0.1", PS_PRINTING));
    const QByteArray baTruncated = MakeRecord(0x00).left(20);
    EXPECT_EQ(Worker().CheckPrinterStatus(reinterpret_cast<const unsigned char*>(baTruncated.constData()),
                                          baTruncated.size()), -1);
    EXPECT_EQ(ReadFile(StatusFile()), baTruncated);
    EXPECT_EQ(Worker().CurrentPrinter().stState.enCurrentStatus, PS_PRINTING);
}

TEST_F(StatusWorker, JobCancelledWhilePrintingSendsOneUsbCancel)
{
    Serve(Printer(CONNECT_USB, c_strUsbPort, PS_PRINTING));
    m_test.pCups->SetJobs({{2, IPP_JSTATE_PROCESSING, {"job-printing"}}});
    Worker().CheckJobStatus();
    EXPECT_TRUE(m_test.pUsb->Requests(0x34).isEmpty());

    // Cancelled, it has left the jobs in progress: the watch asks for it by number.
    m_test.pCups->SetJobs({{2, IPP_JSTATE_CANCELED, {"job-canceled-by-user"}}});
    Worker().CheckJobStatus();
    Worker().CheckJobStatus();
    EXPECT_EQ(m_test.pCups->KnownJobIds(), (QList<QList<int>>{{}, {2}, {}}));
    EXPECT_EQ(m_test.pCups->Questions().first(), "jobs " + c_strQueue);
    const QList<stUsbRequest> listCancel = m_test.pUsb->Requests(0x34);
    ASSERT_EQ(listCancel.size(), 1);
    EXPECT_EQ(listCancel.first().strPort, c_strUsbPort);
    EXPECT_EQ(listCancel.first().wLength, 1017);
}

TEST_F(StatusWorker, JobCancelledWhilePrintingSendsOneNetworkCancel)
{
    LoopbackUdpPrinter printer;
    m_test.env.wUdpPort = printer.Port();
    Serve(Printer(CONNECT_NETWORK, "127.0.0.1", PS_PRINTING));
    m_test.pCups->SetJobs({{9, IPP_JSTATE_PROCESSING, {"job-printing"}}});
    Worker().CheckJobStatus();
    m_test.pCups->SetJobs({{9, IPP_JSTATE_CANCELED, {"job-canceled-by-user"}}});
    Worker().CheckJobStatus();
    Worker().CheckJobStatus();

    EXPECT_EQ(printer.Receive(2000), QByteArray("\xA1\x34\x00\x00\x00\x00\xF9\x03", 8));
    EXPECT_TRUE(printer.Receive(200).isEmpty());
    EXPECT_EQ(Worker().CancelPrinterNetJob(QString()), -1);
}
