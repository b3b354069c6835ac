// Queue discovery against a real scheduler: what the service and the queue-removal tool find
// in printers.conf and in the "lpstat -v" listing of queues made with the CUPS tools.
#include "CupsQueueDiscovery.h"
#include "CupsScheduler.h"
#include "TestPpd.h"

#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <cstdlib>

using namespace VornTest;

namespace {

const std::string c_strCode = "VC5100DNW";
const QString c_strModel = QStringLiteral("Vorn VC5100DNW");

struct stFound {
    std::string strName;
    std::string strModel;
    int iConnectType;
    std::string strPort;
    std::string strURI;

    bool operator==(const stFound& other) const
    {
        return strName == other.strName && strModel == other.strModel && iConnectType == other.iConnectType
            && strPort == other.strPort && strURI == other.strURI;
    }
};

void PrintTo(const stFound& found, std::ostream* pStream)
{
    *pStream << "{" << found.strName << ", " << found.strModel << ", " << found.iConnectType << ", " << found.strPort
             << ", " << found.strURI << "}";
}

// CUPS decides the order of its files and listings; the tests compare by name.
std::vector<stFound> Sorted(const QList<stPrinterInfo>& listInfo)
{
    std::vector<stFound> listFound;
    for (const stPrinterInfo& info : listInfo) {
        listFound.push_back({info.strName.toStdString(), info.strModel.toStdString(), info.iConnectType,
                             info.strPort.toStdString(), info.strURI.toStdString()});
    }
    std::sort(listFound.begin(), listFound.end(),
              [](const stFound& a, const stFound& b) { return a.strName < b.strName; });
    return listFound;
}

// The listing discovery runs lpstat with the test's own environment.
class ScopedLanguage {
public:
    explicit ScopedLanguage(const char* szLang)
    {
        for (Saved& saved : m_listSaved) {
            const char* szOld = std::getenv(saved.szName);
            saved.bWasSet = szOld != nullptr;
            saved.strValue = szOld != nullptr ? szOld : "";
            setenv(saved.szName, szLang, 1);
        }
    }
    ~ScopedLanguage()
    {
        for (const Saved& saved : m_listSaved) {
            if (saved.bWasSet)
                setenv(saved.szName, saved.strValue.c_str(), 1);
            else
                unsetenv(saved.szName);
        }
    }

private:
    struct Saved {
        const char* szName;
        bool bWasSet = false;
        std::string strValue;
    };
    Saved m_listSaved[2] = {{"LANG", false, ""}, {"LC_ALL", false, ""}};
};

class CupsDiscoveryE2eTest : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_cups.Start()) << m_cups.LastError();
    }

    void AddQueue(const std::string& strName, const std::string& strUri, const std::string& strModel)
    {
        ASSERT_TRUE(m_cups.AddQueue(strName, strUri, strModel)) << m_cups.LastError();
    }

    // Three suite queues, one of each kind, and foreign ones around them.
    void AddMixedQueues()
    {
        AddQueue("SuiteUsb", CupsScheduler::UsbUri(c_strCode, "SN0001"), SuiteModelName(c_strCode));
        AddQueue("SuiteSocket", CupsScheduler::SocketUri("127.0.0.2"), SuiteModelName(c_strCode));
        AddQueue("SuiteVornSocket", CupsScheduler::VornSocketUri("127.0.0.3"), SuiteModelName(c_strCode));
        AddQueue("ForeignUsb", CupsScheduler::UsbUri("X1", "SN0002"), c_strForeignModelName);
        AddQueue("SuiteModelIpp", "ipp://127.0.0.1:8631/ipp/print", SuiteModelName(c_strCode));
        AddQueue("ForeignFile", "file:/dev/null", c_strForeignModelName);
    }

    const std::vector<stFound> m_listSuiteQueues = {
        {"SuiteSocket", c_strModel.toStdString(), 2, "127.0.0.2", "socket://127.0.0.2:9100"},
        {"SuiteUsb", c_strModel.toStdString(), 1, "Vorn/VC5100DNW?serial=SN0001", "usb://Vorn/VC5100DNW?serial=SN0001"},
        {"SuiteVornSocket", c_strModel.toStdString(), 2, "127.0.0.3", "vornsocket://127.0.0.3"},
    };

    CupsScheduler m_cups;
    CupsQueueDiscovery m_discovery;
};

TEST_F(CupsDiscoveryE2eTest, ConfigurationDiscoveryTakesOnlySuiteQueues)
{
    AddMixedQueues();
    EXPECT_EQ(Sorted(m_discovery.GetPrinterInfo(true)), m_listSuiteQueues);
}

TEST_F(CupsDiscoveryE2eTest, WithoutDriverCheckForeignUsbQueueIsTakenButOtherSchemesAreNot)
{
    AddMixedQueues();
    const std::vector<stFound> listExpected = {
        {"ForeignUsb", "", 1, "Vorn/X1?serial=SN0002", "usb://Vorn/X1?serial=SN0002"},
        {"SuiteSocket", "", 2, "127.0.0.2", "socket://127.0.0.2:9100"},
        {"SuiteUsb", "", 1, "Vorn/VC5100DNW?serial=SN0001", "usb://Vorn/VC5100DNW?serial=SN0001"},
        {"SuiteVornSocket", "", 2, "127.0.0.3", "vornsocket://127.0.0.3"},
    };
    EXPECT_EQ(Sorted(m_discovery.GetPrinterInfo(false)), listExpected);
    EXPECT_EQ(Sorted(m_discovery.GetPrinterInfoFromListing(false)), listExpected);
}

TEST_F(CupsDiscoveryE2eTest, ListingDiscoveryFindsTheSameQueuesInEnglishAndChinese)
{
    AddMixedQueues();
    {
        ScopedLanguage language("C");
        EXPECT_EQ(Sorted(m_discovery.GetPrinterInfoFromListing(true)), m_listSuiteQueues);
    }
    {
        ScopedLanguage language("zh_CN.UTF-8");
        ASSERT_NE(RunTool({"lpstat", "-v"}).strStdout.find("用于 SuiteUsb 的设备："), std::string::npos);
        EXPECT_EQ(Sorted(m_discovery.GetPrinterInfoFromListing(true)), m_listSuiteQueues);
    }
}

TEST_F(CupsDiscoveryE2eTest, QueueNamesWithShellCharactersAndChineseAreFoundVerbatim)
{
    const std::vector<std::string> listNames = {"a;b$c`d`|e&", "打印机"};
    for (const std::string& strName : listNames)
        AddQueue(strName, CupsScheduler::UsbUri(c_strCode, "SN0001"), SuiteModelName(c_strCode));

    for (const std::vector<stFound>& listFound :
         {Sorted(m_discovery.GetPrinterInfo(true)), Sorted(m_discovery.GetPrinterInfoFromListing(true))}) {
        ASSERT_EQ(listFound.size(), 2u);
        EXPECT_EQ(listFound[0].strName, listNames[0]);
        EXPECT_EQ(listFound[1].strName, listNames[1]);
    }
    ScopedLanguage language("zh_CN.UTF-8");
    const std::vector<stFound> listChinese = Sorted(m_discovery.GetPrinterInfoFromListing(true));
    ASSERT_EQ(listChinese.size(), 2u);
    EXPECT_EQ(listChinese[1].strName, listNames[1]);
}

// The service rereads the configuration every few seconds and must see changes at once.
TEST_F(CupsDiscoveryE2eTest, RemovedAndRepointedQueuesShowInTheConfigurationAtOnce)
{
    AddMixedQueues();
    ASSERT_TRUE(m_cups.RemoveQueue("SuiteUsb")) << m_cups.LastError();
    ASSERT_TRUE(m_cups.SetQueueUri("SuiteSocket", CupsScheduler::SocketUri("127.0.0.9", 9101))) << m_cups.LastError();

    const std::vector<stFound> listExpected = {
        {"SuiteSocket", c_strModel.toStdString(), 2, "127.0.0.9", "socket://127.0.0.9:9101"},
        {"SuiteVornSocket", c_strModel.toStdString(), 2, "127.0.0.3", "vornsocket://127.0.0.3"},
    };
    EXPECT_EQ(Sorted(m_discovery.GetPrinterInfo(true)), listExpected);
    EXPECT_EQ(Sorted(m_discovery.GetPrinterInfoFromListing(true)), listExpected);
}

TEST_F(CupsDiscoveryE2eTest, StoppedSchedulerLeavesTheConfigurationButNoListing)
{
    AddMixedQueues();
    ASSERT_TRUE(m_cups.Stop());
    EXPECT_EQ(Sorted(m_discovery.GetPrinterInfo(true)), m_listSuiteQueues);
    EXPECT_TRUE(m_discovery.GetPrinterInfoFromListing(true).isEmpty());
}

} // namespace
