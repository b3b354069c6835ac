// The private headless desktop: its processes, the environment of the programs under test,
// and the calls that hand reading and driving over to the AT-SPI driver process.
#include "DesktopSession.h"

#include "ChildProcess.h"
#include "PrivateNamespace.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <sstream>

namespace VornTest {
namespace {

// The display lives in the test's own network namespace: the X server listens only on the
// abstract socket (no /tmp/.X11-unix, no lock file), which no other namespace can see, so
// every test binary may use the same number without meeting the host's displays or others'.
constexpr int c_iDisplayNumber = 42;
constexpr const char* c_szAbstractDisplayPrefix = "/tmp/.X11-unix/X";
constexpr int c_iColourDepth = 24;

constexpr const char* c_szXServer = "Xvfb";
constexpr const char* c_szBusDaemon = "dbus-daemon";
constexpr const char* c_szBusTool = "dbus-send";
constexpr const char* c_szAccessibilityLauncher = "/usr/libexec/at-spi-bus-launcher";
// The system Python: it has the gi and pyatspi modules, another python3 on PATH may not.
constexpr const char* c_szPython = "/usr/bin/python3";
constexpr const char* c_szServicesScript = VORN_DESKTOP_SCRIPT_DIR "/desktop_services.py";
constexpr const char* c_szDriverScript = VORN_DESKTOP_SCRIPT_DIR "/desktop_driver.py";
constexpr const char* c_szServicesReady = "ready";

constexpr const char* c_szAccessibilityBusName = "org.a11y.Bus";
constexpr const char* c_szAccessibilityBusPath = "/org/a11y/bus";
constexpr const char* c_szAccessibilityAddressMethod = "org.a11y.Bus.GetAddress";

// Each piece answers within about half a second on an idle machine; the margin covers two
// cores shared by parallel sanitizer builds.
constexpr int c_iStartTimeoutMs = 20000;
constexpr int c_iPollMs = 20;
// A driver call may take its own time-out plus the D-Bus and X round trips after it.
constexpr int c_iDriverMarginMs = 15000;
constexpr int c_iStopTimeoutMs = 5000;

// What the logs are called in the session's scratch folder.
constexpr const char* c_szDisplayLog = "xvfb.log";
constexpr const char* c_szBusLog = "session-bus.log";
constexpr const char* c_szAccessibilityLog = "at-spi.log";
constexpr const char* c_szServicesLog = "services.log";
constexpr const char* c_szDriverLog = "driver.log";
constexpr const char* c_szNotificationRecord = "notifications.jsonl";
constexpr const char* c_szBusConfig = "session-bus.conf";
constexpr const char* c_szBusSocket = "session-bus";
constexpr const char* c_szRuntimeFolder = "runtime";
constexpr const char* c_szHomeFolder = "home";
constexpr const char* c_szTempFolder = "tmp";

// A session bus that answers only this test: its own socket, no activation of the host's
// services, and everything allowed between the test's own peers.
constexpr const char* c_szBusConfigTemplate =
    "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
    " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
    "<busconfig>\n"
    "  <type>session</type>\n"
    "  <listen>unix:path=@SOCKET@</listen>\n"
    "  <auth>EXTERNAL</auth>\n"
    "  <policy context=\"default\">\n"
    "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
    "    <allow eavesdrop=\"true\"/>\n"
    "    <allow own=\"*\"/>\n"
    "  </policy>\n"
    "</busconfig>\n";

long long NowMs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<long long>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// True once something accepts connections on the socket (abstract when the name starts with '\0').
bool Accepts(const std::string& strSocket)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (strSocket.size() >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path, strSocket.data(), strSocket.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool bAccepted =
        connect(fd, reinterpret_cast<const sockaddr*>(&address), offsetof(sockaddr_un, sun_path) + strSocket.size()) == 0;
    close(fd);
    return bAccepted;
}

std::string ReadWholeFile(const std::string& strPath)
{
    std::ifstream file(strPath);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

bool WriteWholeFile(const std::string& strPath, const std::string& strContent)
{
    std::ofstream file(strPath, std::ios::trunc);
    file << strContent;
    return static_cast<bool>(file);
}

bool MakePrivateFolder(const std::string& strPath)
{
    return mkdir(strPath.c_str(), 0700) == 0 || (errno == EEXIST && chmod(strPath.c_str(), 0700) == 0);
}

QString Q(const std::string& str)
{
    return QString::fromStdString(str);
}

std::string S(const QJsonValue& value)
{
    return value.toString().toStdString();
}

stExtents ExtentsOf(const QJsonValue& value)
{
    const QJsonArray list = value.toArray();
    stExtents extents;
    if (list.size() == 4) {
        extents.iX = list[0].toInt();
        extents.iY = list[1].toInt();
        extents.iWidth = list[2].toInt();
        extents.iHeight = list[3].toInt();
    }
    return extents;
}

std::vector<std::string> StringsOf(const QJsonValue& value)
{
    std::vector<std::string> list;
    for (const QJsonValue& item : value.toArray())
        list.push_back(S(item));
    return list;
}

QJsonObject QueryObject(const stWidgetQuery& query)
{
    QJsonObject object;
    if (!query.bAnyName)
        object["name"] = Q(query.strName);
    if (!query.strRole.empty())
        object["role"] = Q(query.strRole);
    if (!query.strWindow.empty())
        object["window"] = Q(query.strWindow);
    object["index"] = query.iIndex;
    if (query.enChecked != enWidgetState::Any)
        object["checked"] = query.enChecked == enWidgetState::Yes;
    if (query.enEnabled != enWidgetState::Any)
        object["enabled"] = query.enEnabled == enWidgetState::Yes;
    return object;
}

stNotification NotificationOf(const QJsonObject& object)
{
    stNotification notification;
    notification.uId = static_cast<unsigned int>(object["id"].toInt());
    notification.strAppName = S(object["app_name"]);
    notification.strAppIcon = S(object["app_icon"]);
    notification.strSummary = S(object["summary"]);
    notification.strBody = S(object["body"]);
    notification.iExpireTimeoutMs = object["expire_timeout"].toInt();
    notification.iUrgency = object["urgency"].toInt(-1);
    notification.bClosed = object["closed"].toBool();
    return notification;
}

std::vector<stNotification> NotificationsOf(const QJsonValue& value)
{
    std::vector<stNotification> list;
    for (const QJsonValue& item : value.toArray())
        list.push_back(NotificationOf(item.toObject()));
    return list;
}

std::vector<stTrayItem> TrayItemsOf(const QJsonValue& value)
{
    std::vector<stTrayItem> list;
    for (const QJsonValue& entry : value.toArray()) {
        const QJsonObject object = entry.toObject();
        stTrayItem item;
        item.strService = S(object["service"]);
        item.strId = S(object["id"]);
        item.strTitle = S(object["title"]);
        item.strStatus = S(object["status"]);
        item.strIconName = S(object["icon_name"]);
        item.bHasIconPixmap = object["has_icon_pixmap"].toBool();
        item.strToolTipTitle = S(object["tool_tip_title"]);
        item.strToolTipText = S(object["tool_tip_text"]);
        item.strMenuPath = S(object["menu"]);
        list.push_back(item);
    }
    return list;
}

} // namespace

stWidgetQuery stWidgetQuery::Named(const std::string& strName, const std::string& strRole)
{
    stWidgetQuery query;
    query.strName = strName;
    query.strRole = strRole;
    return query;
}

stWidgetQuery stWidgetQuery::OfRole(const std::string& strRole, int iIndex)
{
    stWidgetQuery query;
    query.bAnyName = true;
    query.strRole = strRole;
    query.iIndex = iIndex;
    return query;
}

DesktopSession::DesktopSession(int iScreenWidth, int iScreenHeight)
    : m_iScreenWidth(iScreenWidth), m_iScreenHeight(iScreenHeight)
{
}

DesktopSession::~DesktopSession()
{
    Stop();
    RemoveTree(m_strScratch);
}

bool DesktopSession::Fail(const std::string& strWhat)
{
    m_strLastError = strWhat;
    return false;
}

std::string DesktopSession::ScratchFile(const char* szName) const
{
    return m_strScratch + "/" + szName;
}

bool DesktopSession::Start()
{
    if (m_bRunning)
        return true;
    if (!IsInPrivateNamespace())
        return Fail("the desktop runs only inside the private namespace of vorn_e2e_main");
    m_strScratch = MakeScratchFolder("desktop");
    if (m_strScratch.empty() || !MakePrivateFolder(ScratchFile(c_szRuntimeFolder))
        || !MakePrivateFolder(ScratchFile(c_szHomeFolder)) || !MakePrivateFolder(ScratchFile(c_szTempFolder)))
        return Fail("cannot make the desktop's folders on /run");
    m_bRunning = StartDisplay() && StartSessionBus() && StartAccessibilityBus() && StartServices() && StartDriver();
    if (!m_bRunning)
        Stop();
    return m_bRunning;
}

bool DesktopSession::StartDisplay()
{
    const std::string strDisplay = ":" + std::to_string(c_iDisplayNumber);
    const std::string strScreen =
        std::to_string(m_iScreenWidth) + "x" + std::to_string(m_iScreenHeight) + "x" + std::to_string(c_iColourDepth);
    // -noreset: without it the server resets when its last client leaves, which erases the
    // accessibility bus address from the root window and hides later programs from AT-SPI.
    m_pidDisplay = StartChildWith({c_szXServer, strDisplay, "-screen", "0", strScreen, "-nolisten", "tcp", "-nolisten",
                                   "unix", "-nolock", "-noreset"},
                                  {}, ScratchFile(c_szDisplayLog));
    if (m_pidDisplay <= 0)
        return Fail("cannot start Xvfb");
    const std::string strSocket = std::string(1, '\0') + c_szAbstractDisplayPrefix + std::to_string(c_iDisplayNumber);
    const long long llDeadline = NowMs() + c_iStartTimeoutMs;
    while (!Accepts(strSocket)) {
        if (!IsChildAlive(m_pidDisplay)) {
            m_pidDisplay = -1;
            return Fail("Xvfb ended at start: " + ReadWholeFile(ScratchFile(c_szDisplayLog)));
        }
        if (NowMs() > llDeadline)
            return Fail("Xvfb did not open display " + strDisplay + " in time");
        usleep(c_iPollMs * 1000);
    }
    return true;
}

bool DesktopSession::StartSessionBus()
{
    std::string strConfig = c_szBusConfigTemplate;
    const std::string strMarker = "@SOCKET@";
    strConfig.replace(strConfig.find(strMarker), strMarker.size(), ScratchFile(c_szBusSocket));
    if (!WriteWholeFile(ScratchFile(c_szBusConfig), strConfig))
        return Fail("cannot write the session bus configuration");
    m_pidSessionBus = StartChildWith({c_szBusDaemon, "--config-file=" + ScratchFile(c_szBusConfig), "--nofork"}, {},
                                     ScratchFile(c_szBusLog));
    if (m_pidSessionBus <= 0)
        return Fail("cannot start dbus-daemon");
    const long long llDeadline = NowMs() + c_iStartTimeoutMs;
    while (!Accepts(ScratchFile(c_szBusSocket))) {
        if (!IsChildAlive(m_pidSessionBus)) {
            m_pidSessionBus = -1;
            return Fail("the session bus ended at start: " + ReadWholeFile(ScratchFile(c_szBusLog)));
        }
        if (NowMs() > llDeadline)
            return Fail("the session bus did not open its socket in time");
        usleep(c_iPollMs * 1000);
    }
    return true;
}

bool DesktopSession::StartAccessibilityBus()
{
    // Started at once rather than on demand, so that the bus address is on the root window
    // before the first program looks for it.
    m_pidAccessibility =
        StartChildWith({c_szAccessibilityLauncher, "--launch-immediately"}, Environment(), ScratchFile(c_szAccessibilityLog));
    if (m_pidAccessibility <= 0)
        return Fail("cannot start the accessibility bus launcher");
    stToolOptions options;
    options.listEnv = Environment();
    const std::vector<std::string> listAsk = {c_szBusTool,
                                              "--session",
                                              "--print-reply",
                                              std::string("--dest=") + c_szAccessibilityBusName,
                                              c_szAccessibilityBusPath,
                                              c_szAccessibilityAddressMethod};
    const long long llDeadline = NowMs() + c_iStartTimeoutMs;
    while (!RunTool(listAsk, options).Succeeded()) {
        if (!IsChildAlive(m_pidAccessibility)) {
            m_pidAccessibility = -1;
            return Fail("the accessibility bus launcher ended at start: "
                        + ReadWholeFile(ScratchFile(c_szAccessibilityLog)));
        }
        if (NowMs() > llDeadline)
            return Fail("the accessibility bus did not come up in time");
        usleep(c_iPollMs * 1000);
    }
    return true;
}

bool DesktopSession::StartServices()
{
    // Both names must be owned before the program under test starts: Qt decides once, at
    // start, whether a tray is available.
    if (!m_services.Start({c_szPython, c_szServicesScript, "unix:path=" + ScratchFile(c_szBusSocket),
                           ScratchFile(c_szNotificationRecord)},
                          Environment(), ScratchFile(c_szServicesLog)))
        return Fail("cannot start the tray host and notification recorder");
    std::string strLine;
    if (!m_services.ReadLine(strLine, c_iStartTimeoutMs) || strLine != c_szServicesReady)
        return Fail("the tray host and notification recorder did not come up: "
                    + ReadWholeFile(ScratchFile(c_szServicesLog)));
    return true;
}

bool DesktopSession::StartDriver()
{
    if (!m_driver.Start({c_szPython, c_szDriverScript, ScratchFile(c_szNotificationRecord)}, Environment(),
                        ScratchFile(c_szDriverLog)))
        return Fail("cannot start the desktop driver");
    QJsonObject request;
    request["op"] = "applications";
    return Call(request, c_iStartTimeoutMs);
}

void DesktopSession::Stop()
{
    m_bRunning = false;
    m_driver.Stop();
    m_services.Stop();
    // The launcher ends the accessibility bus it started; the registry ends with that bus.
    for (pid_t* pPid : {&m_pidAccessibility, &m_pidSessionBus, &m_pidDisplay}) {
        if (*pPid > 0)
            StopChild(*pPid, SIGTERM, c_iStopTimeoutMs);
        *pPid = -1;
    }
}

std::vector<std::string> DesktopSession::Environment() const
{
    const std::string strHome = ScratchFile(c_szHomeFolder);
    return {
        "DISPLAY=:" + std::to_string(c_iDisplayNumber),
        "DBUS_SESSION_BUS_ADDRESS=unix:path=" + ScratchFile(c_szBusSocket),
        "XDG_RUNTIME_DIR=" + ScratchFile(c_szRuntimeFolder),
        // Settings and caches a program writes stay in the session, not in root's real home.
        "HOME=" + strHome,
        "XDG_CONFIG_HOME=" + strHome + "/.config",
        "XDG_CACHE_HOME=" + strHome + "/.cache",
        "XDG_DATA_HOME=" + strHome + "/.local/share",
        // Qt's local sockets and shared-memory keys live there: parallel tests must not meet.
        "TMPDIR=" + ScratchFile(c_szTempFolder),
        "LANG=C.UTF-8",
        // Empty counts as unset, so LANG (or a test's own LC_ALL) decides.
        "LC_ALL=",
        // ctest runs the unit tests offscreen; the programs here must use the X server.
        "QT_QPA_PLATFORM=xcb",
        // Qt 5 otherwise exposes itself to AT-SPI only when a screen reader says it runs.
        "QT_ACCESSIBILITY=1",
        "QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1",
    };
}

pid_t DesktopSession::StartProgram(const std::vector<std::string>& listArgv, const std::string& strStderrFile,
                                   const std::vector<std::string>& listExtraEnv) const
{
    std::vector<std::string> listEnv = Environment();
    listEnv.insert(listEnv.end(), listExtraEnv.begin(), listExtraEnv.end());
    return StartChildWith(listArgv, listEnv, strStderrFile);
}

bool DesktopSession::Call(const QJsonObject& request, int iTimeoutMs, QJsonValue& value)
{
    const std::string strOp = S(request["op"]);
    // A driver stopped after a call that never returned is replaced, so one stuck call does
    // not fail every call after it.
    if (!m_driver.IsRunning() && !(m_bRunning && StartDriver()))
        return Fail(strOp + ": the desktop driver is not running: " + m_strLastError);
    std::string strAnswer;
    if (!m_driver.WriteLine(QJsonDocument(request).toJson(QJsonDocument::Compact).toStdString())
        || !m_driver.ReadLine(strAnswer, iTimeoutMs + c_iDriverMarginMs)) {
        // A late answer would be taken for the next call's: the driver goes.
        m_driver.Stop();
        return Fail(strOp + ": the desktop driver did not answer: " + ReadWholeFile(ScratchFile(c_szDriverLog)));
    }
    const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(strAnswer));
    if (!document.isObject())
        return Fail(strOp + ": the desktop driver answered \"" + strAnswer + "\"");
    const QJsonObject answer = document.object();
    if (!answer["ok"].toBool())
        return Fail(strOp + ": " + S(answer["error"]));
    value = answer["value"];
    return true;
}

bool DesktopSession::Call(const QJsonObject& request, int iTimeoutMs)
{
    QJsonValue value;
    return Call(request, iTimeoutMs, value);
}

QJsonObject DesktopSession::AppRequest(const char* szOp, const std::string& strApp, int iTimeoutMs) const
{
    QJsonObject request;
    request["op"] = szOp;
    request["app"] = Q(strApp);
    request["timeout_ms"] = iTimeoutMs;
    return request;
}

bool DesktopSession::WaitForApplication(const std::string& strApp, int iTimeoutMs)
{
    return Call(AppRequest("wait_application", strApp, iTimeoutMs), iTimeoutMs);
}

std::vector<std::string> DesktopSession::Applications()
{
    QJsonObject request;
    request["op"] = "applications";
    QJsonValue value;
    return Call(request, 0, value) ? StringsOf(value) : std::vector<std::string>();
}

std::vector<std::string> DesktopSession::WindowTitles(const std::string& strApp)
{
    QJsonValue value;
    if (!Call(AppRequest("windows", strApp, 0), 0, value))
        return {};
    return StringsOf(value);
}

bool DesktopSession::WaitForWindow(const std::string& strApp, const std::string& strTitle, int iTimeoutMs)
{
    QJsonObject request = AppRequest("wait_window", strApp, iTimeoutMs);
    request["title"] = Q(strTitle);
    return Call(request, iTimeoutMs);
}

stWidgetState DesktopSession::Widget(const std::string& strApp, const stWidgetQuery& query, int iTimeoutMs)
{
    QJsonObject request = AppRequest("widget", strApp, iTimeoutMs);
    request["query"] = QueryObject(query);
    QJsonValue value;
    stWidgetState state;
    if (!Call(request, iTimeoutMs, value))
        return state;
    if (!value.isObject()) {
        Fail("no widget \"" + query.strName + "\" of role \"" + query.strRole + "\" in \"" + strApp + "\"");
        return state;
    }
    const QJsonObject object = value.toObject();
    state.bFound = true;
    state.strName = S(object["name"]);
    state.strRole = S(object["role"]);
    state.strText = S(object["text"]);
    state.strDescription = S(object["description"]);
    state.bEnabled = object["enabled"].toBool();
    state.bVisible = object["visible"].toBool();
    state.bShowing = object["showing"].toBool();
    state.bFocused = object["focused"].toBool();
    state.bChecked = object["checked"].toBool();
    state.extents = ExtentsOf(object["extents"]);
    return state;
}

bool DesktopSession::WaitUntilGone(const std::string& strApp, const stWidgetQuery& query, int iTimeoutMs)
{
    QJsonObject request = AppRequest("wait_gone", strApp, iTimeoutMs);
    request["query"] = QueryObject(query);
    return Call(request, iTimeoutMs);
}

stTableContent DesktopSession::Table(const std::string& strApp, const stWidgetQuery& query, int iTimeoutMs)
{
    QJsonObject request = AppRequest("table", strApp, iTimeoutMs);
    request["query"] = QueryObject(query);
    QJsonValue value;
    stTableContent table;
    if (!Call(request, iTimeoutMs, value))
        return table;
    const QJsonObject object = value.toObject();
    table.bFound = true;
    table.listHeaders = StringsOf(object["headers"]);
    for (const QJsonValue& row : object["rows"].toArray())
        table.listRows.push_back(StringsOf(row));
    return table;
}

bool DesktopSession::Press(const std::string& strApp, const stWidgetQuery& query, int iTimeoutMs)
{
    QJsonObject request = AppRequest("press", strApp, iTimeoutMs);
    request["query"] = QueryObject(query);
    return Call(request, iTimeoutMs);
}

bool DesktopSession::SetText(const std::string& strApp, const stWidgetQuery& query, const std::string& strText,
                             int iTimeoutMs)
{
    QJsonObject request = AppRequest("set_text", strApp, iTimeoutMs);
    request["query"] = QueryObject(query);
    request["text"] = Q(strText);
    return Call(request, iTimeoutMs);
}

bool DesktopSession::Click(const std::string& strApp, const stWidgetQuery& query, int iTimeoutMs)
{
    QJsonObject request = AppRequest("click", strApp, iTimeoutMs);
    request["query"] = QueryObject(query);
    return Call(request, iTimeoutMs);
}

bool DesktopSession::PressKeys(const std::string& strApp, const stWidgetQuery& query,
                               const std::vector<std::string>& listKeys, int iTimeoutMs)
{
    QJsonObject request = AppRequest("press_keys", strApp, iTimeoutMs);
    request["query"] = QueryObject(query);
    QJsonArray keys;
    for (const std::string& strKey : listKeys)
        keys.append(Q(strKey));
    request["keys"] = keys;
    return Call(request, iTimeoutMs);
}

bool DesktopSession::SelectComboItem(const std::string& strApp, const stWidgetQuery& query, const std::string& strItem,
                                     int iTimeoutMs)
{
    QJsonObject request = AppRequest("select_combo_item", strApp, iTimeoutMs);
    request["query"] = QueryObject(query);
    request["item"] = Q(strItem);
    return Call(request, iTimeoutMs);
}

stMessageBox DesktopSession::WaitForMessageBox(const std::string& strApp, const std::string& strTitle, int iTimeoutMs)
{
    QJsonObject request = AppRequest("message_box", strApp, iTimeoutMs);
    request["title"] = Q(strTitle);
    QJsonValue value;
    stMessageBox box;
    if (!Call(request, iTimeoutMs, value))
        return box;
    const QJsonObject object = value.toObject();
    box.bFound = true;
    box.strTitle = S(object["title"]);
    box.listLabels = StringsOf(object["labels"]);
    box.listButtons = StringsOf(object["buttons"]);
    box.extents = ExtentsOf(object["extents"]);
    return box;
}

bool DesktopSession::PressMessageBoxButton(const std::string& strApp, const std::string& strButton,
                                           const std::string& strTitle, int iTimeoutMs)
{
    QJsonObject request = AppRequest("press_message_box_button", strApp, iTimeoutMs);
    request["button"] = Q(strButton);
    request["title"] = Q(strTitle);
    return Call(request, iTimeoutMs);
}

bool DesktopSession::CloseWindow(const std::string& strApp, const std::string& strTitle, int iTimeoutMs)
{
    QJsonObject request = AppRequest("close_window", strApp, iTimeoutMs);
    request["title"] = Q(strTitle);
    return Call(request, iTimeoutMs);
}

bool DesktopSession::Screenshot(const std::string& strPngPath)
{
    QJsonObject request;
    request["op"] = "screenshot";
    request["path"] = Q(strPngPath);
    return Call(request, 0);
}

bool DesktopSession::ScreenshotWindow(const std::string& strApp, const std::string& strTitle,
                                      const std::string& strPngPath, int iTimeoutMs)
{
    QJsonObject request = AppRequest("screenshot", strApp, iTimeoutMs);
    request["title"] = Q(strTitle);
    request["path"] = Q(strPngPath);
    return Call(request, iTimeoutMs);
}

std::vector<stTrayItem> DesktopSession::TrayItems()
{
    QJsonObject request;
    request["op"] = "tray_items";
    QJsonValue value;
    return Call(request, 0, value) ? TrayItemsOf(value) : std::vector<stTrayItem>();
}

std::vector<stTrayItem> DesktopSession::WaitForTrayItems(int iCount, int iTimeoutMs)
{
    QJsonObject request;
    request["op"] = "wait_tray_items";
    request["count"] = iCount;
    request["timeout_ms"] = iTimeoutMs;
    QJsonValue value;
    return Call(request, iTimeoutMs, value) ? TrayItemsOf(value) : std::vector<stTrayItem>();
}

std::vector<stTrayMenuEntry> DesktopSession::TrayMenu(int iItem)
{
    QJsonObject request;
    request["op"] = "tray_menu";
    request["item"] = iItem;
    QJsonValue value;
    std::vector<stTrayMenuEntry> list;
    if (!Call(request, 0, value))
        return list;
    for (const QJsonValue& entry : value.toArray()) {
        const QJsonObject object = entry.toObject();
        stTrayMenuEntry menuEntry;
        menuEntry.iId = object["id"].toInt();
        menuEntry.strLabel = S(object["label"]);
        menuEntry.bEnabled = object["enabled"].toBool();
        menuEntry.bVisible = object["visible"].toBool();
        menuEntry.bSeparator = object["separator"].toBool();
        menuEntry.bChecked = object["checked"].toBool();
        menuEntry.iDepth = object["depth"].toInt();
        list.push_back(menuEntry);
    }
    return list;
}

std::vector<std::string> DesktopSession::TrayMenuLabels(int iItem)
{
    std::vector<std::string> listLabels;
    for (const stTrayMenuEntry& entry : TrayMenu(iItem)) {
        if (entry.bVisible && !entry.bSeparator)
            listLabels.push_back(entry.strLabel);
    }
    return listLabels;
}

bool DesktopSession::TriggerTrayMenuEntry(const std::string& strLabel, int iItem)
{
    QJsonObject request;
    request["op"] = "trigger_tray_entry";
    request["label"] = Q(strLabel);
    request["item"] = iItem;
    return Call(request, 0);
}

bool DesktopSession::ActivateTrayItem(int iItem)
{
    QJsonObject request;
    request["op"] = "activate_tray_item";
    request["item"] = iItem;
    return Call(request, 0);
}

std::vector<stNotification> DesktopSession::Notifications()
{
    QJsonObject request;
    request["op"] = "notifications";
    QJsonValue value;
    return Call(request, 0, value) ? NotificationsOf(value) : std::vector<stNotification>();
}

stNotification DesktopSession::WaitForNotification(int iNumber, int iTimeoutMs)
{
    QJsonObject request;
    request["op"] = "wait_notifications";
    request["count"] = iNumber;
    request["timeout_ms"] = iTimeoutMs;
    QJsonValue value;
    if (iNumber < 1 || !Call(request, iTimeoutMs, value))
        return stNotification();
    return NotificationsOf(value).at(static_cast<size_t>(iNumber - 1));
}

std::string DesktopSession::Diagnostics() const
{
    std::string strText;
    for (const char* szLog : {c_szDisplayLog, c_szBusLog, c_szAccessibilityLog, c_szServicesLog, c_szDriverLog}) {
        const std::string strLog = ReadWholeFile(ScratchFile(szLog));
        if (!strLog.empty())
            strText += std::string("== ") + szLog + "\n" + strLog;
    }
    return strText;
}

} // namespace VornTest
