// The shared list's rules: when the device manager sees a change, and when a worker's
// working copy may be written back.
#include "SharedPrinterList.h"

#include <gtest/gtest.h>

namespace {

stPrinterInfo Queue(const QString& strName, const QString& strPort, const QString& strModel = QStringLiteral("Vorn VC5100DN"))
{
    stPrinterInfo info;
    info.strName = strName;
    info.strModel = strModel;
    info.iConnectType = CONNECT_USB;
    info.strPort = strPort;
    info.strURI = QStringLiteral("usb://") + strPort;
    return info;
}

stPrinterManager Managed(const stPrinterInfo& info)
{
    stPrinterManager manager;
    manager.stInfo = info;
    return manager;
}

} // namespace

TEST(SharedPrinterList, ChangeIsCountOrNameOrAddressOrUri)
{
    SharedPrinterList list;
    EXPECT_FALSE(list.DiffersFrom({}));
    list.Replace({Managed(Queue("A", "Vorn/VC5100DN?serial=1")), Managed(Queue("B", "Vorn/VC5100DN?serial=2"))});

    EXPECT_FALSE(list.DiffersFrom({Queue("A", "Vorn/VC5100DN?serial=1"), Queue("B", "Vorn/VC5100DN?serial=2")}));
    // The model and the connection kind do not count.
    stPrinterInfo other = Queue("B", "Vorn/VC5100DN?serial=2", "Vorn VL2120D");
    other.iConnectType = CONNECT_NETWORK;
    EXPECT_FALSE(list.DiffersFrom({Queue("A", "Vorn/VC5100DN?serial=1"), other}));

    EXPECT_TRUE(list.DiffersFrom({Queue("A", "Vorn/VC5100DN?serial=1")}));
    EXPECT_TRUE(list.DiffersFrom({Queue("B", "Vorn/VC5100DN?serial=2"), Queue("A", "Vorn/VC5100DN?serial=1")}));
    EXPECT_TRUE(list.DiffersFrom({Queue("a", "Vorn/VC5100DN?serial=1"), Queue("B", "Vorn/VC5100DN?serial=2")}));
    stPrinterInfo uriOnly = Queue("B", "Vorn/VC5100DN?serial=2");
    uriOnly.strURI += QStringLiteral("&interface=1");
    EXPECT_TRUE(list.DiffersFrom({Queue("A", "Vorn/VC5100DN?serial=1"), uriOnly}));
}

TEST(SharedPrinterList, WriteBackKeepsTheManagersMarking)
{
    SharedPrinterList list;
    list.Replace({Managed(Queue("A", "Vorn/VC5100DN?serial=1"))});
    stPrinterManager working;
    ASSERT_TRUE(list.CopyEntry(0, working));
    EXPECT_FALSE(working.bNeedStatus);

    // The device manager marks the entry while the worker's cycle runs.
    list.MarkAllNeedStatus();
    working.stState.enCurrentStatus = PS_PRINTING;
    working.listJob.append(stJobState{QStringLiteral("A-1"), 1});
    EXPECT_TRUE(list.WriteBack(0, working));

    stPrinterManager shared;
    ASSERT_TRUE(list.CopyEntry(0, shared));
    EXPECT_TRUE(shared.bNeedStatus);
    EXPECT_EQ(shared.stState.enCurrentStatus, PS_PRINTING);
    EXPECT_EQ(shared.listJob.size(), 1);
}

TEST(SharedPrinterList, WorkingCopyOfAnotherQueueIsDropped)
{
    SharedPrinterList list;
    list.Replace({Managed(Queue("A", "Vorn/VC5100DN?serial=1"))});
    stPrinterManager working;
    ASSERT_TRUE(list.CopyEntry(0, working));
    working.stState.enCurrentStatus = PS_PRINTING;

    // The queue at this index was replaced by another one during the cycle.
    list.Replace({Managed(Queue("B", "Vorn/VC5100DN?serial=1"))});
    EXPECT_FALSE(list.WriteBack(0, working));
    list.Replace({Managed(Queue("A", "Vorn/VC5100DN?serial=9"))});
    EXPECT_FALSE(list.WriteBack(0, working));
    list.Replace({});
    EXPECT_FALSE(list.WriteBack(0, working));
    EXPECT_FALSE(list.CopyEntry(0, working));
    EXPECT_FALSE(list.CopyEntry(-1, working));

    list.Replace({Managed(Queue("A", "Vorn/VC5100DN?serial=1"))});
    stPrinterManager shared;
    ASSERT_TRUE(list.CopyEntry(0, shared));
    EXPECT_EQ(shared.stState.enCurrentStatus, PS_OFFLINE);
}
