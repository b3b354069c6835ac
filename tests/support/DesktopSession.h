// A private headless desktop for GUI end-to-end tests: an X server, a session bus with a tray
// host and a notification recorder, the accessibility bus, and calls that read and drive the
// programs under test as a user would (widgets by accessible name, the tray menu, balloons).
#pragma once

#include "LineChild.h"

#include <sys/types.h>

#include <string>
#include <vector>

class QJsonObject;
class QJsonValue;

namespace VornTest {

// How long a call waits for what it needs (an application, a widget, a message box) by default:
// generous, because the program under test may be an ASan build on a loaded machine.
constexpr int c_iDesktopWaitMs = 10000;

// A state a widget must be in to match a query.
enum class enWidgetState { Any, Yes, No };

// Which widget a call means. Names and roles are compared exactly; roles are AT-SPI role
// names: "push button", "text" (line edit), "combo box", "table", "label", "check box",
// "radio button", "page tab", "alert", "list item", "table cell", ...
struct stWidgetQuery {
    std::string strName;   // accessible name (a button's label, a combo box's current text)
    bool bAnyName = false; // true: match any name, e.g. the only table of a window
    std::string strRole;   // empty: any role
    std::string strWindow; // title of the top-level window to search; empty: all of them
    int iIndex = 0;        // the Nth match (0 first) in tree order
    // Only widgets in these states match: Widget() with enChecked Yes waits until the check box
    // is checked, which a call right after Press could miss (Press returns before the click).
    enWidgetState enChecked = enWidgetState::Any;
    enWidgetState enEnabled = enWidgetState::Any;

    static stWidgetQuery Named(const std::string& strName, const std::string& strRole = std::string());
    static stWidgetQuery OfRole(const std::string& strRole, int iIndex = 0);
};

struct stExtents {
    int iX = 0; // desktop coordinates of the top left corner
    int iY = 0;
    int iWidth = 0;
    int iHeight = 0;
};

struct stWidgetState {
    bool bFound = false;
    std::string strName;
    std::string strRole;
    std::string strText; // a line edit's contents; empty for widgets without text
    std::string strDescription;
    bool bEnabled = false;
    bool bVisible = false;
    bool bShowing = false;
    bool bFocused = false;
    bool bChecked = false;
    stExtents extents;
};

struct stTableContent {
    bool bFound = false;
    std::vector<std::string> listHeaders;
    std::vector<std::vector<std::string>> listRows; // rows of cell texts, columns as the headers
};

struct stMessageBox {
    bool bFound = false;
    std::string strTitle;
    std::vector<std::string> listLabels; // texts shown, in order (main text first)
    std::vector<std::string> listButtons; // labels as shown, blanks kept ("确  定")
    stExtents extents;

    std::string Text() const { return listLabels.empty() ? std::string() : listLabels.front(); }
};

struct stTrayItem {
    std::string strService; // bus name of the item, "org.kde.StatusNotifierItem-PID-N"
    std::string strId;
    std::string strTitle;
    std::string strStatus;
    std::string strIconName;
    bool bHasIconPixmap = false;
    std::string strToolTipTitle;
    std::string strToolTipText;
    std::string strMenuPath;
};

struct stTrayMenuEntry {
    int iId = 0;
    std::string strLabel; // as shown: the mnemonic marker removed
    bool bEnabled = false;
    bool bVisible = false;
    bool bSeparator = false;
    bool bChecked = false;
    int iDepth = 0; // 0 for the top level, 1 inside a submenu, ...
};

struct stNotification {
    unsigned int uId = 0;
    std::string strAppName;
    std::string strAppIcon; // e.g. "dialog-warning"
    std::string strSummary;
    std::string strBody;
    int iExpireTimeoutMs = 0;
    int iUrgency = -1; // 0 low, 1 normal, 2 critical; -1 when the program sent no hint
    bool bClosed = false; // the program closed it again
};

class DesktopSession {
public:
    // Nothing runs until Start. Only inside the private namespace of vorn_e2e_main.
    explicit DesktopSession(int iScreenWidth = 1920, int iScreenHeight = 1080);
    // Stops every process the session started and removes its files.
    ~DesktopSession();
    DesktopSession(const DesktopSession&) = delete;
    DesktopSession& operator=(const DesktopSession&) = delete;

    // Starts the X server, the session bus, the accessibility bus, the tray host and
    // notification recorder, and the driver; true once all of them answer.
    bool Start();
    bool IsRunning() const { return m_bRunning; }

    // The environment a program under test needs ("NAME=value" entries for RunTool or
    // StartChildWith): display, session bus, private runtime and home folders, C.UTF-8,
    // the xcb platform and accessibility switched on.
    std::vector<std::string> Environment() const;
    // Starts a program in the session; its error output goes to the file when one is named.
    // End it with StopChild.
    pid_t StartProgram(const std::vector<std::string>& listArgv, const std::string& strStderrFile = std::string(),
                       const std::vector<std::string>& listExtraEnv = std::vector<std::string>()) const;

    // -- Widgets, through the accessibility bus. The application name is Qt's applicationName.
    // Calls that need a widget wait for it up to the time-out; on failure LastError says
    // what was awaited.
    bool WaitForApplication(const std::string& strApp, int iTimeoutMs = c_iDesktopWaitMs);
    // Names of the applications on the accessibility bus now.
    std::vector<std::string> Applications();
    // Titles of the application's top-level windows on screen (message boxes included). Every
    // call looks only into windows on screen: a hidden window's widgets are not found.
    std::vector<std::string> WindowTitles(const std::string& strApp);
    bool WaitForWindow(const std::string& strApp, const std::string& strTitle, int iTimeoutMs = c_iDesktopWaitMs);
    // bFound false when the widget did not turn up within the time-out (a short time-out
    // checks that something is absent).
    stWidgetState Widget(const std::string& strApp, const stWidgetQuery& query, int iTimeoutMs = c_iDesktopWaitMs);
    // True once no widget of the query is showing any more (hidden, closed, or never there).
    bool WaitUntilGone(const std::string& strApp, const stWidgetQuery& query, int iTimeoutMs = c_iDesktopWaitMs);
    stTableContent Table(const std::string& strApp, const stWidgetQuery& query = stWidgetQuery::OfRole("table"),
                         int iTimeoutMs = c_iDesktopWaitMs);
    // Presses a button once it is shown and enabled; returns at once, before the program
    // has reacted (a modal dialog it opens does not block the call).
    bool Press(const std::string& strApp, const stWidgetQuery& query, int iTimeoutMs = c_iDesktopWaitMs);
    // Replaces a line edit's text; the program sees textChanged as if typed.
    bool SetText(const std::string& strApp, const stWidgetQuery& query, const std::string& strText,
                 int iTimeoutMs = c_iDesktopWaitMs);
    // Clicks the middle of the widget with the mouse.
    bool Click(const std::string& strApp, const stWidgetQuery& query, int iTimeoutMs = c_iDesktopWaitMs);
    // Clicks the widget, waits until it has the keyboard focus, and presses the keys (xdotool
    // names: "Return", "Escape", "Tab", "ctrl+a", "BackSpace", "a", ...).
    bool PressKeys(const std::string& strApp, const stWidgetQuery& query, const std::vector<std::string>& listKeys,
                   int iTimeoutMs = c_iDesktopWaitMs);
    // Opens the combo box with a click and clicks the item; true once the box shows it.
    bool SelectComboItem(const std::string& strApp, const stWidgetQuery& query, const std::string& strItem,
                         int iTimeoutMs = c_iDesktopWaitMs);
    // The message box (role "alert") with that title, or the first one when the title is empty.
    stMessageBox WaitForMessageBox(const std::string& strApp, const std::string& strTitle = std::string(),
                                   int iTimeoutMs = c_iDesktopWaitMs);
    bool PressMessageBoxButton(const std::string& strApp, const std::string& strButton,
                               const std::string& strTitle = std::string(), int iTimeoutMs = c_iDesktopWaitMs);

    // Closes a top-level window or message box as its title bar's close button would (there is
    // no window manager: the fixture sends what one would). The program decides what closing
    // means; check the outcome with WaitUntilGone or WindowTitles.
    bool CloseWindow(const std::string& strApp, const std::string& strTitle, int iTimeoutMs = c_iDesktopWaitMs);

    // The whole screen into a PNG file.
    bool Screenshot(const std::string& strPngPath);
    // One top-level window or message box of the application (its area of the screen) into a PNG file.
    bool ScreenshotWindow(const std::string& strApp, const std::string& strTitle, const std::string& strPngPath,
                          int iTimeoutMs = c_iDesktopWaitMs);

    // -- The tray and its balloons.
    std::vector<stTrayItem> TrayItems();
    // The registered items once there are at least iCount of them; empty after the time-out.
    std::vector<stTrayItem> WaitForTrayItems(int iCount = 1, int iTimeoutMs = c_iDesktopWaitMs);
    // The item's whole menu, as the tray host would show it.
    std::vector<stTrayMenuEntry> TrayMenu(int iItem = 0);
    // The labels of the visible entries that are not separators, in order.
    std::vector<std::string> TrayMenuLabels(int iItem = 0);
    // Clicks the menu entry with this label (it must be enabled and visible).
    bool TriggerTrayMenuEntry(const std::string& strLabel, int iItem = 0);
    // A left click on the icon itself.
    bool ActivateTrayItem(int iItem = 0);
    // Every balloon shown so far, in order.
    std::vector<stNotification> Notifications();
    // The iNumber-th balloon (1 first) once it was shown; uId 0 after the time-out.
    stNotification WaitForNotification(int iNumber, int iTimeoutMs = c_iDesktopWaitMs);

    int ScreenWidth() const { return m_iScreenWidth; }
    int ScreenHeight() const { return m_iScreenHeight; }
    const std::string& LastError() const { return m_strLastError; }
    // The error output of the session's processes, to print when a test fails.
    std::string Diagnostics() const;

private:
    bool StartDisplay();
    bool StartSessionBus();
    bool StartAccessibilityBus();
    bool StartServices();
    bool StartDriver();
    void Stop();
    bool Fail(const std::string& strWhat);
    std::string ScratchFile(const char* szName) const;
    // Sends one request to the driver; false (and LastError) when it failed or timed out.
    bool Call(const QJsonObject& request, int iTimeoutMs, QJsonValue& value);
    bool Call(const QJsonObject& request, int iTimeoutMs);
    QJsonObject AppRequest(const char* szOp, const std::string& strApp, int iTimeoutMs) const;

    int m_iScreenWidth;
    int m_iScreenHeight;
    std::string m_strScratch;
    bool m_bRunning = false;
    pid_t m_pidDisplay = -1;
    pid_t m_pidSessionBus = -1;
    pid_t m_pidAccessibility = -1;
    LineChild m_services;
    LineChild m_driver;
    std::string m_strLastError;
};

} // namespace VornTest
