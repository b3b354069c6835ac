// The device manager's pass against a temporary CUPS folder: workers per queue, the printer
// list file, stale status files, the heartbeat. Worker threads run against fakes, so these
// tests also exercise the shared list from several threads.
#include "ServiceTestDoubles.h"
#include "TrdDeviceManage.h"
#include "TrdGetPrinterStatus.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QThread>

#include <cups/ipp.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

struct stQueue {
    QString strName;
    QString strURI;
    QString strModel = QStringLiteral("Vorn VC5100DN");
};

class DeviceManage : public ::testing::Test {
protected:
    // Worker threads run Qt event loops, which need the application object.
    static void SetUpTestSuite()
    {
        static int s_iArgc = 1;
        static char s_szName[] = "service_device_manage_test";
        static char* s_arrArgv[] = {s_szName, nullptr};
        static QCoreApplication s_app(s_iArgc, s_arrArgv);
    }

    void SetUp() override
    {
        QDir().mkpath(m_test.env.strPpdDir);
        // Network printers answer nowhere: their requests stay on a closed loopback port.
        m_test.env.wUdpPort = LoopbackUdpPrinter().Port();
        // Printers stay busy: their state and status files are left as the test sets them.
        m_test.pUsb->SetStatusReply(-6);
        m_pManager = std::make_unique<TrdDeviceManage>(nullptr, m_test.env);
        m_pManager->Init(&m_list);
    }

    void TearDown() override
    {
        m_pManager->RequestStop();
        m_pManager->StopWorkers();
    }

    void SetQueues(const QList<stQueue>& listQueue)
    {
        QByteArray baConf = "# Printer configuration file\n";
        for (const stQueue& queue : listQueue) {
            baConf += "<Printer " + queue.strName.toUtf8() + ">\nInfo test\nDeviceURI " + queue.strURI.toUtf8()
                + "\nState Idle\n</Printer>\n";
            QFile ppd(m_test.env.strPpdDir + queue.strName + ".ppd");
            ppd.open(QIODevice::WriteOnly);
            ppd.write("*PPD-Adobe: \"4.3\"\n*ModelName: \"" + queue.strModel.toUtf8() + "\"\n");
        }
        QFile conf(m_test.env.strPrintersConf);
        conf.open(QIODevice::WriteOnly);
        conf.write(baConf);
    }

    QString CfgFile(const QString& strName) const { return m_test.env.strCfgDir + strName; }

    void TouchStatusFile(const QString& strQueue)
    {
        QDir().mkpath(m_test.env.strCfgDir);
        QFile file(CfgFile(strQueue + ".dat"));
        file.open(QIODevice::WriteOnly);
        file.write("record");
    }

    QStringList ListFileNames()
    {
        QSettings settings(CfgFile("printerlist.ini"), QSettings::IniFormat);
        QStringList listName;
        const int iCount = settings.value("Main/Count").toInt();
        for (int i = 0; i < iCount; ++i)
            listName.append(settings.value(QStringLiteral("printer_%1/Name").arg(i)).toString());
        return listName;
    }

    static ino_t InodeOf(const QString& strPath)
    {
        struct stat st {};
        return ::stat(QFile::encodeName(strPath).constData(), &st) == 0 ? st.st_ino : 0;
    }

    stTestEnvironment m_test;
    SharedPrinterList m_list;
    std::unique_ptr<TrdDeviceManage> m_pManager;
};

const stQueue c_queueA{"Alpha", "usb://Vorn/VC5100DN?serial=SN0001"};
const stQueue c_queueB{"Beta", "socket://127.0.0.1:9100"};
const stQueue c_queueC{"Gamma", "vornsocket://127.0.0.2"};

} // namespace

TEST_F(DeviceManage, FirstPassWithoutQueuesPublishesEmptyListAndHeartbeat)
{
    m_pManager->RunPass(true);
    EXPECT_EQ(m_pManager->WorkerCount(), 0);
    QSettings settings(CfgFile("printerlist.ini"), QSettings::IniFormat);
    EXPECT_EQ(settings.value("Main/Count").toString(), "0");

    QFile heartbeat(CfgFile("service.hb"));
    ASSERT_TRUE(heartbeat.open(QIODevice::ReadOnly));
    const QByteArray baBeat = heartbeat.readAll();
    EXPECT_EQ(baBeat.size(), 25);
    EXPECT_TRUE(QString::fromLatin1(baBeat).contains(QRegularExpression(
        QStringLiteral("^\\[\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}\\]$"))));
}

TEST_F(DeviceManage, AddedQueueGetsOneWorkerAndIsPublishedInOrder)
{
    SetQueues({c_queueA});
    m_pManager->RunPass(true);
    EXPECT_EQ(m_pManager->WorkerCount(), 1);
    TouchStatusFile("Alpha");

    SetQueues({c_queueA, c_queueB});
    m_pManager->RunPass(false);
    EXPECT_EQ(m_pManager->WorkerCount(), 2);
    EXPECT_EQ(ListFileNames(), (QStringList{"Alpha", "Beta"}));
    QSettings settings(CfgFile("printerlist.ini"), QSettings::IniFormat);
    EXPECT_EQ(settings.value("printer_1/ConnectType").toString(), "2");
    EXPECT_EQ(settings.value("printer_1/Port").toString(), "127.0.0.1");
    EXPECT_EQ(settings.value("printer_0/Model").toString(), "Vorn VC5100DN");
    EXPECT_TRUE(QFile::exists(CfgFile("Alpha.dat")));
    for (const stPrinterManager& entry : m_list.Snapshot())
        EXPECT_TRUE(entry.bNeedStatus);
}

TEST_F(DeviceManage, RemovedQueueLosesItsStatusFileAndItsWorkerWaits)
{
    SetQueues({c_queueA, c_queueB, c_queueC});
    m_pManager->RunPass(true);
    TouchStatusFile("Alpha");
    TouchStatusFile("Gamma");

    SetQueues({c_queueA});
    m_pManager->RunPass(false);
    EXPECT_FALSE(QFile::exists(CfgFile("Gamma.dat")));
    EXPECT_TRUE(QFile::exists(CfgFile("Alpha.dat")));
    EXPECT_EQ(ListFileNames(), QStringList{"Alpha"});
    EXPECT_EQ(m_list.Size(), 1);

    // The queues come back: the idle workers serve them again, none is added.
    SetQueues({c_queueA, c_queueB, c_queueC});
    m_pManager->RunPass(false);
    EXPECT_EQ(m_pManager->WorkerCount(), 3);
    EXPECT_EQ(ListFileNames(), (QStringList{"Alpha", "Beta", "Gamma"}));
}

TEST_F(DeviceManage, StaleStatusFilesGoOnlyOnChangedPasses)
{
    SetQueues({c_queueA});
    m_pManager->RunPass(true);
    TouchStatusFile("Retired");
    QFile::link(CfgFile("Alpha.ini"), CfgFile("Linked.dat"));

    m_pManager->RunPass(false);
    EXPECT_TRUE(QFile::exists(CfgFile("Retired.dat")));

    SetQueues({c_queueA, c_queueB});
    m_pManager->RunPass(false);
    EXPECT_FALSE(QFile::exists(CfgFile("Retired.dat")));
    // Only regular files are removed.
    EXPECT_TRUE(QFileInfo(CfgFile("Linked.dat")).isSymLink());
}

TEST_F(DeviceManage, ListFileThatCouldNotBeWrittenIsWrittenOnTheNextPass)
{
    SetQueues({c_queueA});
    m_pManager->RunPass(true);
    SetQueues({c_queueA, c_queueB});
    {
        DiskFullAfter diskFull(64);
        m_pManager->RunPass(false);
    }
    // Read from disk: this process's settings cache still holds what could not be written.
    QFile listFile(CfgFile("printerlist.ini"));
    ASSERT_TRUE(listFile.open(QIODevice::ReadOnly));
    ASSERT_FALSE(listFile.readAll().contains("Beta"));
    listFile.close();
    m_pManager->RunPass(false);
    ASSERT_TRUE(listFile.open(QIODevice::ReadOnly));
    EXPECT_TRUE(listFile.readAll().contains("Name=Beta"));
}

// A worker whose read was under way when its queue went away finishes after the pass that
// removed the queue: it must not bring the status file back.
TEST_F(DeviceManage, WorkerFinishingAReadOfARemovedQueueDoesNotRecreateItsStatusFile)
{
    SetQueues({c_queueA, c_queueB, c_queueC});
    m_pManager->RunPass(true);
    TrdGetPrinterStatus reader(nullptr, m_test.env);
    reader.Init(2, &m_list);
    stPrinterManager gamma;
    ASSERT_TRUE(m_list.CopyEntry(2, gamma));
    reader.SetCurrentPrinter(gamma);

    SetQueues({c_queueA, c_queueB});
    m_pManager->RunPass(false);
    const QByteArray baRecord(64, '\0');
    reader.CheckPrinterStatus(reinterpret_cast<const unsigned char*>(baRecord.constData()), baRecord.size());
    EXPECT_FALSE(QFile::exists(CfgFile("Gamma.dat")));
}

TEST_F(DeviceManage, UriChangeRebuildsListAndRewritesFile)
{
    SetQueues({c_queueA});
    m_pManager->RunPass(true);
    stPrinterManager entry;
    ASSERT_TRUE(m_list.CopyEntry(0, entry));
    entry.stState.enCurrentStatus = PS_PRINTING;
    m_list.WriteBack(0, entry);
    const ino_t inode = InodeOf(CfgFile("printerlist.ini"));

    SetQueues({{"Alpha", "usb://Vorn/VC5100DN?serial=SN0002"}});
    m_pManager->RunPass(false);
    EXPECT_NE(InodeOf(CfgFile("printerlist.ini")), inode);
    QSettings settings(CfgFile("printerlist.ini"), QSettings::IniFormat);
    EXPECT_EQ(settings.value("printer_0/URI").toString(), "usb://Vorn/VC5100DN?serial=SN0002");
    ASSERT_TRUE(m_list.CopyEntry(0, entry));
    EXPECT_EQ(entry.stState.enCurrentStatus, PS_OFFLINE);
    EXPECT_EQ(m_pManager->WorkerCount(), 1);
}

TEST_F(DeviceManage, ModelOnlyChangeLeavesListFileAloneUnlessItIsMissing)
{
    SetQueues({c_queueA});
    m_pManager->RunPass(true);
    const ino_t inode = InodeOf(CfgFile("printerlist.ini"));

    SetQueues({{"Alpha", c_queueA.strURI, "Vorn VL2120D"}});
    m_pManager->RunPass(false);
    EXPECT_EQ(InodeOf(CfgFile("printerlist.ini")), inode);

    QFile::remove(CfgFile("printerlist.ini"));
    m_pManager->RunPass(false);
    EXPECT_EQ(ListFileNames(), QStringList{"Alpha"});
}

TEST_F(DeviceManage, PublishedFilesAreReadableByAllAndReplacedWhole)
{
    SetQueues({c_queueA, c_queueB});
    m_pManager->RunPass(true);
    SetQueues({c_queueA});
    m_pManager->RunPass(false);
    for (const QString& strFile : {QStringLiteral("printerlist.ini"), QStringLiteral("service.hb")}) {
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(CfgFile(strFile)).constData(), &st), 0) << qPrintable(strFile);
        EXPECT_EQ(st.st_mode & 07777, 0644u) << qPrintable(strFile);
    }
    // Nothing but the published files: no temporary file left behind.
    EXPECT_EQ(QDir(m_test.env.strCfgDir).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"printerlist.ini", "service.hb"}));
    // The shrunken list says Count 1; groups past it may remain.
    EXPECT_EQ(ListFileNames(), QStringList{"Alpha"});
}

TEST_F(DeviceManage, QueueSetChangingWhileWorkersRunStaysConsistent)
{
    m_test.pUsb->SetStatusReply(-5);
    m_test.pCups->SetJobs({{1, IPP_JSTATE_PROCESSING, {"job-printing"}}});
    const QList<QList<stQueue>> listSet = {{c_queueA, c_queueB}, {c_queueB}, {c_queueA, c_queueB, c_queueC}, {}};
    for (int iRound = 0; iRound < 12; ++iRound) {
        SetQueues(listSet.at(iRound % listSet.size()));
        m_pManager->RunPass(iRound == 0);
        QThread::msleep(150);
    }
    SetQueues({c_queueA, c_queueB});
    m_pManager->RunPass(false);
    EXPECT_EQ(m_pManager->WorkerCount(), 3);
    const QList<stPrinterManager> listEntry = m_list.Snapshot();
    ASSERT_EQ(listEntry.size(), 2);
    EXPECT_EQ(listEntry.at(0).stInfo.strName, "Alpha");
    EXPECT_EQ(listEntry.at(1).stInfo.strName, "Beta");
}
