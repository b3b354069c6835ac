// The monitor's workers against files in a temporary folder: when a row counts as changed, when
// it turns off-line, when the table is rebuilt, what a printer's own cancel runs, and how fast
// the folder watch wakes a worker.
#include "FolderWatch.h"
#include "PrinterListFile.h"
#include "TrdDeviceManage.h"
#include "TrdGetPrinterStatus.h"
#include "UtilPrinterStatus.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

namespace {

QByteArray Record(uint8_t byStatusCode, unsigned long ulToner = 7532, QList<uint16_t> listError = {},
                  QList<uint16_t> listWarning = {})
{
    stStatusRecordFields fields;
    fields.baVenderName = "VORN";
    fields.baProductName = "VC5100DN";
    fields.baPrinterSerialNumber = "SN0001";
    fields.byStatusCode = byStatusCode;
    fields.listErrorCode = listError;
    fields.listWarningCode = listWarning;
    fields.listSupply = {MakeNumberSupplyItem(SUPPLY_REMAINING_TONER, ulToner, 2)};
    return EncodeStatusRecord(fields);
}

constexpr uint8_t c_byReady = 0x00;
constexpr uint8_t c_byCanceling = 0x03;
constexpr uint8_t c_byPrinting = 0x10;
constexpr uint16_t c_wFrontCoverOpen = 0x1106;
constexpr uint16_t c_wTonerLow = 0x110D;

stPrinterInfo Info(const QString& strName, const QString& strPort, const QString& strModel = QStringLiteral("Vorn VC5100DN"))
{
    stPrinterInfo info;
    info.strName = strName;
    info.strModel = strModel;
    info.iConnectType = CONNECT_NETWORK;
    info.strPort = strPort;
    info.strURI = QStringLiteral("socket://") + strPort;
    return info;
}

class MonitorWorkers : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_env.strCfgDir = m_dir.path() + QStringLiteral("/");
        m_env.bWatchFiles = false;
        m_env.runCommand = [this](const QString& strProgram, const QStringList& listArgs, const stProcessOptions&) {
            m_listCommands.append(QStringList{strProgram} + listArgs);
            return stProcessResult();
        };
    }

    QString StatusPath(const QString& strName) const { return m_env.strCfgDir + strName + QStringLiteral(".dat"); }

    // Each write moves the modification time on by a second, as a rewrite by the service would.
    void WriteStatus(const QString& strName, const QByteArray& baContent)
    {
        QFile file(StatusPath(strName));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(baContent);
        file.flush();
        m_dtStamp = m_dtStamp.isValid() ? m_dtStamp.addSecs(1) : QDateTime::currentDateTime().addSecs(-100);
        ASSERT_TRUE(file.setFileTime(m_dtStamp, QFileDevice::FileModificationTime));
    }

    void WriteList(const QList<stPrinterInfo>& listInfo)
    {
        ASSERT_TRUE(PrinterListFile(m_env.strCfgDir + QStringLiteral("printerlist.ini")).Write(listInfo));
    }

    // One row on the shared list and its status worker, not started: rounds run on the test thread.
    TrdGetPrinterStatus& Row(const QString& strName = QStringLiteral("Office"))
    {
        m_list.Replace(GetInitPrinterList({Info(strName, QStringLiteral("127.0.0.2"))}));
        m_pWorker = std::make_unique<TrdGetPrinterStatus>(nullptr, m_env);
        m_pWorker->Init(0, &m_list);
        return *m_pWorker;
    }

    stPrinterState Shared(int iIndex = 0) const
    {
        stPrinterManager entry;
        EXPECT_TRUE(m_list.CopyEntry(iIndex, entry));
        return entry.stState;
    }

    QTemporaryDir m_dir;
    stMonitorEnvironment m_env;
    MonitorPrinterList m_list;
    std::unique_ptr<TrdGetPrinterStatus> m_pWorker;
    QList<QStringList> m_listCommands;
    QDateTime m_dtStamp;
};

} // namespace

TEST_F(MonitorWorkers, OnlyStateTonerErrorsAndWarningsCountAsAChange)
{
    stPrinterState base;
    base.enCurrentStatus = PS_READY;
    base.dwRemainingToner = 7532;
    base.listError = {ERR_FRONT_COVER_OPEN};
    base.listWarning = {ERR_TONER_LOW, ERR_TRAY_EMPTY};
    struct stCase {
        const char* szWhat;
        std::function<void(stPrinterState&)> change;
        bool bChanged;
    };
    const stCase cases[] = {
        {"nothing", [](stPrinterState&) {}, false},
        {"state", [](stPrinterState& s) { s.enCurrentStatus = PS_PRINTING; }, true},
        {"toner", [](stPrinterState& s) { s.dwRemainingToner = 7531; }, true},
        {"an error added", [](stPrinterState& s) { s.listError.append(ERR_JAM_REAR); }, true},
        {"warnings reordered", [](stPrinterState& s) { s.listWarning = {ERR_TRAY_EMPTY, ERR_TONER_LOW}; }, true},
        {"warnings emptied", [](stPrinterState& s) { s.listWarning.clear(); }, true},
        {"serial and firmware", [](stPrinterState& s) { s.strPrinterSerialNumber = "X"; s.strFWVersion = "2"; }, false},
        {"other counters", [](stPrinterState& s) { s.dwNumberOfPages = 9; s.dwWasteToner = 4; }, false},
        {"fail count", [](stPrinterState& s) { s.iFailCount = 7; }, false},
    };
    for (const stCase& c : cases) {
        stPrinterState changed = base;
        c.change(changed);
        EXPECT_EQ(TrdGetPrinterStatus::CheckStatusChange(base, changed), c.bChanged) << c.szWhat;
    }
}

TEST_F(MonitorWorkers, RowShowsTheFileAndGoesOfflineAtTheEleventhFailedRead)
{
    TrdGetPrinterStatus& worker = Row();
    QSignalSpy spy(&worker, &TrdGetPrinterStatus::SgnUpdatePrinterStatus);
    WriteStatus("Office", Record(c_byPrinting, 7532, {}, {c_wTonerLow}));
    worker.RunRound();
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).toInt(), 0);
    EXPECT_EQ(Shared().enCurrentStatus, PS_PRINTING);
    EXPECT_EQ(Shared().listWarning, QList<enErrorStatus>{ERR_TONER_LOW});

    // Unchanged file: not read again, nothing reported, nothing counted.
    worker.RunRound();
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(Shared().iFailCount, 0);

    QFile::remove(StatusPath("Office"));
    for (int i = 1; i <= 10; ++i) {
        worker.RunRound();
        EXPECT_EQ(Shared().iFailCount, i);
        EXPECT_EQ(Shared().enCurrentStatus, PS_PRINTING) << "failure " << i;
    }
    EXPECT_EQ(spy.count(), 1);
    worker.RunRound();
    EXPECT_EQ(spy.count(), 2);
    EXPECT_EQ(Shared().enCurrentStatus, PS_OFFLINE);
    EXPECT_TRUE(Shared().listWarning.isEmpty());
    EXPECT_EQ(Shared().iFailCount, 0);

    // Off-line forces a read each round: the file's return is seen even with an old time stamp.
    WriteStatus("Office", Record(c_byReady));
    worker.RunRound();
    EXPECT_EQ(Shared().enCurrentStatus, PS_READY);
    EXPECT_EQ(spy.count(), 3);
}

TEST_F(MonitorWorkers, FilesThatAreNoWholeRecordAreFailedReadsAndAGoodReadResetsTheCount)
{
    TrdGetPrinterStatus& worker = Row();
    WriteStatus("Office", Record(c_byReady));
    worker.RunRound();
    ASSERT_EQ(Shared().enCurrentStatus, PS_READY);

    QByteArray baLong = Record(c_byPrinting);
    baLong.append(QByteArray(2048 - baLong.size() + 1, '\x7f'));
    const QByteArray baBad[] = {
        Record(c_byPrinting).left(40),     // cut short
        QByteArray(7, '\0'),               // a header alone
        QByteArray("not a status record"), // something else entirely
        baLong,                            // a valid head followed by more than the buffer holds
    };
    int iExpectedFails = 0;
    for (const QByteArray& ba : baBad) {
        WriteStatus("Office", ba);
        worker.RunRound();
        EXPECT_EQ(Shared().iFailCount, ++iExpectedFails) << ba.size();
        EXPECT_EQ(Shared().enCurrentStatus, PS_READY);
    }
    // Exactly the buffer's size is still a record's room.
    QByteArray baFull = Record(c_byPrinting);
    baFull.append(QByteArray(2048 - baFull.size(), '\0'));
    WriteStatus("Office", baFull);
    worker.RunRound();
    EXPECT_EQ(Shared().enCurrentStatus, PS_PRINTING);
    EXPECT_EQ(Shared().iFailCount, 0);
}

TEST_F(MonitorWorkers, PrinterPanelCancelDropsTheQueueJobsOnceWithTheNameAsOneArgument)
{
    const QString strQueue = QStringLiteral("Desk;rm$(x)&`y`|z");
    TrdGetPrinterStatus& worker = Row(strQueue);
    WriteStatus(strQueue, Record(c_byPrinting));
    worker.RunRound();
    WriteStatus(strQueue, Record(c_byCanceling));
    worker.RunRound();
    WriteStatus(strQueue, Record(c_byCanceling, 7000));
    worker.RunRound();
    ASSERT_EQ(m_listCommands.size(), 1);
    EXPECT_EQ(m_listCommands.first(), (QStringList{QStringLiteral("cancel"), strQueue}));
    WriteStatus(strQueue, Record(c_byReady));
    worker.RunRound();
    WriteStatus(strQueue, Record(c_byCanceling));
    worker.RunRound();
    EXPECT_EQ(m_listCommands.size(), 2);
}

TEST_F(MonitorWorkers, RoundOfAReplacedListIsDiscarded)
{
    TrdGetPrinterStatus& worker = Row();
    WriteStatus("Office", Record(c_byPrinting));
    QSignalSpy spy(&worker, &TrdGetPrinterStatus::SgnUpdatePrinterStatus);
    // Another queue took row 0 before this round writes back.
    m_list.Replace(GetInitPrinterList({Info("Other", "127.0.0.3")}));
    stPrinterManager entryStale;
    entryStale.stInfo = Info("Office", "127.0.0.2");
    stPrinterState statePrevious;
    EXPECT_FALSE(m_list.WriteBack(0, entryStale, statePrevious));
    worker.RunRound();
    EXPECT_EQ(spy.count(), 0) << "Other has no status file and is still within its failures";
    EXPECT_EQ(Shared().enCurrentStatus, PS_OFFLINE);
    m_list.Replace({});
    worker.RunRound();
    EXPECT_EQ(m_list.Size(), 0);
}

TEST_F(MonitorWorkers, TableIsRebuiltWhenNamesOrPortsChangeOnly)
{
    TrdDeviceManage manage(nullptr, m_env);
    manage.Init(&m_list);
    QSignalSpy spy(&manage, &TrdDeviceManage::SgnUpdatePrinterList);
    EXPECT_FALSE(manage.RunPass()) << "no list file and an empty table";

    struct stStep {
        const char* szWhat;
        QList<stPrinterInfo> listInfo;
        bool bRebuilt;
    };
    const stStep steps[] = {
        {"two printers", {Info("A", "127.0.0.2"), Info("B", "127.0.0.3")}, true},
        {"same again", {Info("A", "127.0.0.2"), Info("B", "127.0.0.3")}, false},
        {"a model changed", {Info("A", "127.0.0.2", "Vorn VX1"), Info("B", "127.0.0.3")}, false},
        {"a port changed", {Info("A", "127.0.0.2"), Info("B", "127.0.0.9")}, true},
        {"order swapped", {Info("B", "127.0.0.9"), Info("A", "127.0.0.2")}, true},
        {"shrunk to one", {Info("B", "127.0.0.9")}, true},
        {"empty", {}, true},
    };
    int iRebuilds = 0;
    for (const stStep& step : steps) {
        WriteList(step.listInfo);
        // A status read made before the pass must not survive a rebuild.
        stPrinterManager entry;
        if (m_list.CopyEntry(0, entry)) {
            entry.stState.enCurrentStatus = PS_READY;
            entry.stState.dwRemainingToner = 5000;
            stPrinterState statePrevious;
            m_list.WriteBack(0, entry, statePrevious);
        }
        EXPECT_EQ(manage.RunPass(), step.bRebuilt) << step.szWhat;
        iRebuilds += step.bRebuilt;
        EXPECT_EQ(spy.count(), iRebuilds) << step.szWhat;
        const QList<stPrinterManager> listNow = m_list.Snapshot();
        ASSERT_EQ(listNow.size(), step.listInfo.size()) << step.szWhat;
        if (step.bRebuilt) {
            for (int i = 0; i < listNow.size(); ++i) {
                EXPECT_EQ(listNow.at(i).stInfo.strName, step.listInfo.at(i).strName);
                EXPECT_EQ(listNow.at(i).stState.enCurrentStatus, PS_OFFLINE) << step.szWhat;
                EXPECT_EQ(listNow.at(i).stState.dwRemainingToner, 0u) << step.szWhat;
            }
        }
    }
    QFile::remove(m_env.strCfgDir + QStringLiteral("printerlist.ini"));
    EXPECT_FALSE(manage.RunPass()) << "a missing file is an empty list, already shown";
}

TEST_F(MonitorWorkers, FolderWatchWakesOnTheWatchedFileOnlyAndSurvivesTheFolderComingBack)
{
    const QString strFolder = m_dir.path() + QStringLiteral("/cfg");
    ASSERT_TRUE(QDir().mkpath(strFolder));
    FolderWatch watch(strFolder, QStringLiteral("Office.dat"));
    std::atomic<bool> bQuit{false};
    auto writeLater = [](const QString& strPath) {
        return std::thread([strPath] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            QFile file(strPath);
            if (file.open(QIODevice::WriteOnly))
                file.write("x");
        });
    };

    QElapsedTimer timer;
    timer.start();
    std::thread other = writeLater(strFolder + QStringLiteral("/service.hb"));
    EXPECT_FALSE(watch.WaitForChange(300, bQuit)) << "another file of the folder";
    other.join();

    std::thread writer = writeLater(strFolder + QStringLiteral("/Office.dat"));
    timer.restart();
    EXPECT_TRUE(watch.WaitForChange(2000, bQuit));
    EXPECT_LT(timer.elapsed(), 1000);
    writer.join();

    // The service's folder removed and made again: the watch finds the new one.
    ASSERT_TRUE(QDir(strFolder).removeRecursively());
    EXPECT_FALSE(watch.WaitForChange(100, bQuit));
    ASSERT_TRUE(QDir().mkpath(strFolder));
    EXPECT_FALSE(watch.WaitForChange(600, bQuit));
    EXPECT_TRUE(watch.IsWatching());
    writer = writeLater(strFolder + QStringLiteral("/Office.dat"));
    EXPECT_TRUE(watch.WaitForChange(2000, bQuit));
    writer.join();

    bQuit = true;
    timer.restart();
    EXPECT_FALSE(watch.WaitForChange(5000, bQuit));
    EXPECT_LT(timer.elapsed(), 100);
}

TEST_F(MonitorWorkers, RunningWorkersReportARewrittenFileAndStopWhenAsked)
{
    m_env.bWatchFiles = true;
    m_list.Replace(GetInitPrinterList({Info("Office", "127.0.0.2")}));
    WriteList({Info("Office", "127.0.0.2")});
    TrdDeviceManage manage(nullptr, m_env);
    manage.Init(&m_list);
    TrdGetPrinterStatus worker(nullptr, m_env);
    worker.Init(0, &m_list);
    std::atomic<int> iReports{0};
    QObject::connect(&worker, &TrdGetPrinterStatus::SgnUpdatePrinterStatus, [&](int) { ++iReports; });
    std::thread threadManage([&] { manage.SlotTaskStart(); });
    std::thread threadWorker([&] { worker.SlotTaskStart(); });

    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    WriteStatus("Office", Record(c_byPrinting, 4000, {c_wFrontCoverOpen}));
    QElapsedTimer timer;
    timer.start();
    while (iReports.load() == 0 && timer.elapsed() < 3000)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(iReports.load(), 1);
    EXPECT_LT(timer.elapsed(), 500) << "the watch, not the 1 s poll, should have woken the worker";
    EXPECT_EQ(Shared().listError, QList<enErrorStatus>{ERR_FRONT_COVER_OPEN});

    timer.restart();
    manage.SlotThreadQuit();
    worker.SlotThreadQuit();
    threadManage.join();
    threadWorker.join();
    EXPECT_LT(timer.elapsed(), 1000);
}
