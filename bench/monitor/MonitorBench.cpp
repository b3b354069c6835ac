// Benchmark of the status monitor: CPU time at rest with four rows, and the delay from a status
// file being replaced to its row's text changing, with and without the folder watch. The real
// window and workers run offscreen on a temporary service folder; the table's own change
// notification marks the moment a user would see the new text.
//
//   monitor_bench [--seconds N] [--rewrites N]     (defaults: 60 s at rest, 20 rewrites)
#include "PrinterListFile.h"
#include "UtilPrinterStatus.h"
#include "VornPrinterToolWidget.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr int c_iRows = 4;
constexpr int c_iStatusColumn = VornPrinterToolWidget::COLUMN_STATUS;
constexpr int c_iTonerColumn = VornPrinterToolWidget::COLUMN_TONER;
constexpr int c_iSettleMs = 3000;
constexpr int c_iChangeTimeoutMs = 5000;
constexpr uint8_t c_byPrinting = 0x10;

double CpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QString Name(int iRow)
{
    return QStringLiteral("Bench%1").arg(iRow);
}

// Replaced by a rename, as the service publishes it.
void PublishStatus(const QString& strCfgDir, int iRow, unsigned long ulToner)
{
    stStatusRecordFields fields;
    fields.baVenderName = "VORN";
    fields.byStatusCode = c_byPrinting;
    fields.listSupply = {MakeNumberSupplyItem(SUPPLY_REMAINING_TONER, ulToner, 2)};
    QSaveFile file(strCfgDir + Name(iRow) + QStringLiteral(".dat"));
    if (file.open(QIODevice::WriteOnly)) {
        file.write(EncodeStatusRecord(fields));
        file.commit();
    }
}

struct stResult {
    double dCpuPerMinute = 0;
    std::vector<qint64> vecDelayMs;
    int iMissed = 0;
};

stResult Measure(bool bWatch, int iRestSeconds, int iRewrites)
{
    stResult result;
    QTemporaryDir dir;
    stMonitorEnvironment env;
    env.strCfgDir = dir.path() + QStringLiteral("/");
    env.strAutostartDir = dir.filePath(QStringLiteral("autostart/"));
    env.bWatchFiles = bWatch;
    env.sizeDesktop = QSize(1920, 1080);
    QList<stPrinterInfo> listInfo;
    for (int i = 0; i < c_iRows; ++i) {
        stPrinterInfo info;
        info.strName = Name(i);
        info.iConnectType = CONNECT_NETWORK;
        info.strPort = QStringLiteral("127.0.0.%1").arg(i + 2);
        info.strURI = QStringLiteral("socket://") + info.strPort;
        listInfo.append(info);
        PublishStatus(env.strCfgDir, i, 5000);
    }
    PrinterListFile(env.strCfgDir + VornPaths::c_strPrinterListFile).Write(listInfo);

    VornPrinterToolWidget widget(nullptr, env);
    widget.show();
    QTest::qWait(c_iSettleMs);

    const double dCpuStart = CpuSeconds();
    QTest::qWait(iRestSeconds * 1000);
    result.dCpuPerMinute = (CpuSeconds() - dCpuStart) * 60.0 / iRestSeconds;

    QTableWidget* pTable = widget.findChild<QTableWidget*>(QStringLiteral("tableDeviceManage"));
    for (int k = 0; k < iRewrites; ++k) {
        // A random phase against the workers' one-second rhythm.
        QTest::qWait(200 + int(QRandomGenerator::global()->bounded(1000)));
        const int iRow = k % c_iRows;
        const unsigned long ulToner = 6000 + k;
        const QString strWanted = QString::asprintf("%.2f%%", ulToner / 100.0);
        bool bSeen = false;
        QElapsedTimer timer;
        const QMetaObject::Connection connection =
            QObject::connect(pTable->model(), &QAbstractItemModel::dataChanged, [&] {
                const QTableWidgetItem* pItem = pTable->item(iRow, c_iTonerColumn);
                if (!bSeen && pItem && pItem->text() == strWanted && pTable->item(iRow, c_iStatusColumn))
                    bSeen = true;
            });
        timer.start();
        PublishStatus(env.strCfgDir, iRow, ulToner);
        while (!bSeen && timer.elapsed() < c_iChangeTimeoutMs)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        const qint64 iDelay = timer.elapsed();
        QObject::disconnect(connection);
        if (bSeen)
            result.vecDelayMs.push_back(iDelay);
        else
            ++result.iMissed;
    }
    return result;
}

void Print(const char* szMode, stResult result)
{
    std::sort(result.vecDelayMs.begin(), result.vecDelayMs.end());
    const size_t n = result.vecDelayMs.size();
    std::printf("%-14s cpu at rest %.3f s/min", szMode, result.dCpuPerMinute);
    if (n > 0)
        std::printf(", delay median %lld ms, worst %lld ms (%zu rewrites", (long long)result.vecDelayMs[n / 2],
                    (long long)result.vecDelayMs.back(), n);
    std::printf(", %d not seen within %d ms)\n", result.iMissed, c_iChangeTimeoutMs);
}

} // namespace

int main(int argc, char* argv[])
{
    int iRestSeconds = 60;
    int iRewrites = 20;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--seconds") == 0)
            iRestSeconds = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--rewrites") == 0)
            iRewrites = std::max(1, std::atoi(argv[i + 1]));
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::printf("status monitor, %d rows, %d s at rest, %d rewrites per mode\n", c_iRows, iRestSeconds, iRewrites);
    Print("with watch", Measure(true, iRestSeconds, iRewrites));
    Print("polling only", Measure(false, iRestSeconds, iRewrites));
    return 0;
}
