#!/usr/bin/python3
# Reads and drives the programs of a GUI end-to-end test as a user would: widgets through
# AT-SPI, the mouse through xdotool, the tray through its D-Bus menu and the recorded balloons.
# One request per line on stdin, one answer per line on stdout, both JSON, so that the C++
# fixture keeps one process (and one AT-SPI connection) for the whole test.
import ctypes
import ctypes.util
import itertools
import json
import os
import subprocess
import sys
import time

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402
import pyatspi  # noqa: E402

POLL_SECONDS = 0.05
# A click that opens a popup needs the popup on screen before the next click lands on it.
POPUP_SETTLE_SECONDS = 0.15
WATCHER_NAME = "org.kde.StatusNotifierWatcher"
WATCHER_PATH = "/StatusNotifierWatcher"
ITEM_INTERFACE = "org.kde.StatusNotifierItem"
MENU_INTERFACE = "com.canonical.dbusmenu"
PROPERTIES_INTERFACE = "org.freedesktop.DBus.Properties"
DBUS_CALL_TIMEOUT_MS = 5000
MENU_PROPERTIES = ["label", "enabled", "visible", "type", "toggle-type", "toggle-state"]
# A top-level plain QWidget whose program installs no window accessibility reads as a "filler".
WINDOW_ROLES = ("frame", "dialog", "alert", "window", "file chooser", "filler")
# Cells are only walked into when a query asks for one: a big table would make every
# search slow, one D-Bus round trip per cell.
CELL_ROLES = ("table cell", "table column header", "table row header", "column header", "row header")
TABLE_ROLES = ("table", "tree table")
X_LEFT_BUTTON = "1"
# A program that stops answering (stuck in its GUI thread) must fail the call, not hold it for
# D-Bus's default 25 s per accessible on the way.
ATSPI_CALL_TIMEOUT_MS = 3000
ATSPI_START_TIMEOUT_MS = 10000


class Failure(Exception):
    pass


def deadline_of(request):
    return time.monotonic() + request.get("timeout_ms", 0) / 1000.0


def wait_for(request, probe, what):
    """Calls probe until it returns something other than None, up to the request's time-out."""
    deadline = deadline_of(request)
    last_error = ""
    while True:
        try:
            value = probe()
            if value is not None:
                return value
        except (GLib.GError, Failure, LookupError, NotImplementedError) as error:
            last_error = " (%s)" % error
        if time.monotonic() >= deadline:
            raise Failure("timed out after %d ms waiting for %s%s" % (request.get("timeout_ms", 0), what, last_error))
        time.sleep(POLL_SECONDS)


# ---- AT-SPI ----------------------------------------------------------------------------------

def find_application(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == name:
            return app
    return None


def application(request):
    app = find_application(request["app"])
    if app is None:
        raise Failure("no application named \"%s\" on the accessibility bus" % request["app"])
    return app


def states_of(acc):
    states = acc.getState()
    return {
        "enabled": states.contains(pyatspi.STATE_ENABLED),
        "visible": states.contains(pyatspi.STATE_VISIBLE),
        "showing": states.contains(pyatspi.STATE_SHOWING),
        "focused": states.contains(pyatspi.STATE_FOCUSED),
        "checked": states.contains(pyatspi.STATE_CHECKED),
        "editable": states.contains(pyatspi.STATE_EDITABLE),
    }


def extents_of(acc):
    try:
        box = acc.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        return [box.x, box.y, box.width, box.height]
    except NotImplementedError:
        return [0, 0, 0, 0]


def text_of(acc):
    try:
        return acc.queryText().getText(0, -1)
    except NotImplementedError:
        return ""


def describe(acc):
    info = {"name": acc.name or "", "role": acc.getRoleName(), "text": text_of(acc), "extents": extents_of(acc),
            "description": acc.description or ""}
    info.update(states_of(acc))
    return info


def windows(app):
    """The application's top-level windows on screen: Qt keeps hidden ones in the tree."""
    return [w for w in (app.getChildAtIndex(i) for i in range(app.childCount))
            if w is not None and w.getRoleName() in WINDOW_ROLES and w.getState().contains(pyatspi.STATE_SHOWING)]


def walk(acc, into_tables):
    """Every descendant in tree order (depth first)."""
    for i in range(acc.childCount):
        child = acc.getChildAtIndex(i)
        if child is None:
            continue
        yield child
        if into_tables or child.getRoleName() not in TABLE_ROLES:
            yield from walk(child, into_tables)


def matches(acc, query):
    if query.get("name") is not None and (acc.name or "") != query["name"]:
        return False
    if query.get("role") and acc.getRoleName() != query["role"]:
        return False
    if "checked" in query or "enabled" in query:
        states = states_of(acc)
        return all(states[state] == query[state] for state in ("checked", "enabled") if state in query)
    return True


def find_widget(request):
    """The query's index-th match (in tree order) in the named window, or in every window."""
    app = application(request)
    query = request.get("query", {})
    into_tables = query.get("role") in CELL_ROLES
    count = 0
    for window in windows(app):
        if query.get("window") and window.name != query["window"]:
            continue
        for acc in itertools.chain([window], walk(window, into_tables)):
            if matches(acc, query):
                if count == query.get("index", 0):
                    return acc
                count += 1
    return None


def query_text(request):
    query = request.get("query", {})
    parts = []
    if query.get("name") is not None:
        parts.append("named \"%s\"" % query["name"])
    if query.get("role"):
        parts.append("of role \"%s\"" % query["role"])
    if query.get("window"):
        parts.append("in window \"%s\"" % query["window"])
    for state in ("checked", "enabled"):
        if state in query:
            parts.append(state if query[state] else "not " + state)
    if query.get("index", 0):
        parts.append("number %d" % query["index"])
    return "widget %s of \"%s\"" % (" ".join(parts) or "(any)", request["app"])


def usable_widget(request):
    """The widget, once it is there, shown and enabled: a user cannot use it before."""
    what = query_text(request) + " (shown and enabled)"

    def probe():
        acc = find_widget(request)
        if acc is None:
            return None
        states = states_of(acc)
        return acc if states["showing"] and states["enabled"] else None
    return wait_for(request, probe, what)


def op_applications(request):
    desktop = pyatspi.Registry.getDesktop(0)
    return [app.name for app in (desktop.getChildAtIndex(i) for i in range(desktop.childCount)) if app is not None]


def op_wait_application(request):
    try:
        wait_for(request, lambda: find_application(request["app"]), "application \"%s\"" % request["app"])
    except Failure as error:
        raise Failure("%s; on the accessibility bus: %s" % (error, op_applications(request)))
    return True


def op_windows(request):
    return [w.name or "" for w in windows(application(request))]


def op_wait_window(request):
    title = request["title"]
    wait_for(request, lambda: True if title in op_windows(request) else None,
             "window \"%s\" of \"%s\"" % (title, request["app"]))
    return True


def op_widget(request):
    """The widget's state; waits for it up to the time-out, answers null when it never came."""
    try:
        return describe(wait_for(request, lambda: find_widget(request), query_text(request)))
    except Failure:
        return None


def op_wait_gone(request):
    """Waits until no widget of the query is on screen any more (hidden, closed or never there)."""
    def probe():
        acc = find_widget(request)
        return True if acc is None or not states_of(acc)["showing"] else None
    wait_for(request, probe, query_text(request) + " to go from the screen")
    return True


def op_table(request):
    acc = wait_for(request, lambda: find_widget(request), query_text(request))
    table = acc.queryTable()
    headers = []
    for column in range(table.nColumns):
        header = table.getColumnHeader(column)
        headers.append(header.name if header is not None else "")
    rows = []
    for row in range(table.nRows):
        cells = []
        for column in range(table.nColumns):
            cell = table.getAccessibleAt(row, column)
            cells.append(cell.name if cell is not None else "")
        rows.append(cells)
    return {"headers": headers, "rows": rows}


def press(acc):
    action = acc.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    # Qt names a check box's or radio button's click "Toggle".
    for wanted in ("Press", "press", "click", "Toggle", "toggle"):
        if wanted in names:
            return action.doAction(names.index(wanted))
    raise Failure("\"%s\" offers no press action (it has %s)" % (acc.name, names))


def op_press(request):
    press(usable_widget(request))
    return True


def op_set_text(request):
    acc = usable_widget(request)
    if not acc.queryEditableText().setTextContents(request["text"]):
        raise Failure("%s refused the text" % query_text(request))
    return True


def centre_of(acc):
    x, y, width, height = extents_of(acc)
    return x + width // 2, y + height // 2


def click_at(x, y):
    subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "click", X_LEFT_BUTTON], check=True,
                   stdout=subprocess.DEVNULL, timeout=DBUS_CALL_TIMEOUT_MS / 1000)


def op_click(request):
    acc = usable_widget(request)
    click_at(*centre_of(acc))
    return True


def op_press_keys(request):
    """Clicks the widget (without a window manager, focus comes with the click) and presses the
    keys, xdotool names such as "Return", "Escape", "ctrl+a", "BackSpace"."""
    acc = usable_widget(request)
    click_at(*centre_of(acc))
    wait_for(request, lambda: True if states_of(acc)["focused"] else None, query_text(request) + " to take the focus")
    subprocess.run(["xdotool", "key", "--clearmodifiers"] + request["keys"], check=True, stdout=subprocess.DEVNULL,
                   timeout=DBUS_CALL_TIMEOUT_MS / 1000)
    return True


def op_select_combo_item(request):
    """Opens the combo box with a click and clicks the item, as a user does: Qt's combo boxes
    offer no selection through AT-SPI. The default style's popup shows every item that fits
    on the screen, whatever the combo box's maximum of visible items, so the item is there."""
    combo = usable_widget(request)
    item_text = request["item"]
    items = [acc for acc in walk(combo, False) if acc.getRoleName() == "list item"]
    item = next((acc for acc in items if acc.name == item_text), None)
    if item is None:
        raise Failure("combo box of \"%s\" has no item \"%s\" (it has %s)"
                      % (request["app"], item_text, [acc.name for acc in items]))
    if combo.name == item_text:
        return True
    click_at(*centre_of(combo))

    def popup_shows_item():
        return item if states_of(item)["showing"] and extents_of(item)[2] > 0 else None
    wait_for(request, popup_shows_item, "the popup of the combo box showing \"%s\"" % item_text)
    time.sleep(POPUP_SETTLE_SECONDS)
    click_at(*centre_of(item))
    wait_for(request, lambda: True if combo.name == item_text else None,
             "the combo box to show \"%s\"" % item_text)
    return True


class XClientMessageEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("client", XClientMessageEvent), ("size", ctypes.c_long * 24)]


X_CLIENT_MESSAGE = 33
X_NO_EVENT_MASK = 0
X_CURRENT_TIME = 0
X_LONG_FORMAT = 32


def x_window_at(x, y):
    """The top-level X window under the point, found the way the mouse finds it."""
    result = subprocess.run(["xdotool", "mousemove", "--sync", str(x), str(y), "getmouselocation", "--shell"],
                            check=True, capture_output=True, text=True, timeout=DBUS_CALL_TIMEOUT_MS / 1000)
    fields = dict(line.split("=", 1) for line in result.stdout.split())
    return int(fields["WINDOW"])


def send_delete_window(window):
    """What a window manager sends when the user clicks a window's close button."""
    xlib = ctypes.CDLL(ctypes.util.find_library("X11"))
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XInternAtom.restype = ctypes.c_ulong
    xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    xlib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    xlib.XFlush.argtypes = [ctypes.c_void_p]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = xlib.XOpenDisplay(None)
    if not display:
        raise Failure("cannot open the display")
    event = XEvent()
    event.client.type = X_CLIENT_MESSAGE
    event.client.window = window
    event.client.message_type = xlib.XInternAtom(display, b"WM_PROTOCOLS", False)
    event.client.format = X_LONG_FORMAT
    event.client.data[0] = xlib.XInternAtom(display, b"WM_DELETE_WINDOW", False)
    event.client.data[1] = X_CURRENT_TIME
    xlib.XSendEvent(display, window, False, X_NO_EVENT_MASK, ctypes.byref(event))
    xlib.XFlush(display)
    xlib.XCloseDisplay(display)


def op_close_window(request):
    """Closes a window as its title bar's close button would (the program may hide it instead)."""
    window = wait_for(request, lambda: find_window(request),
                      "window \"%s\" of \"%s\"" % (request["title"], request["app"]))
    x, y, _width, _height = extents_of(window)
    # A corner, not the middle: a message box in front of the window covers the middle.
    send_delete_window(x_window_at(x + 1, y + 1))
    return True


def find_message_box(request):
    app = application(request)
    title = request.get("title")
    for window in windows(app):
        for acc in itertools.chain([window], walk(window, False)):
            if acc.getRoleName() == "alert" and (not title or acc.name == title):
                return acc
    return None


def op_message_box(request):
    what = "message box %sof \"%s\"" % ("\"%s\" " % request["title"] if request.get("title") else "", request["app"])
    box = wait_for(request, lambda: find_message_box(request), what)
    labels = [acc.name for acc in walk(box, False) if acc.getRoleName() == "label" and acc.name]
    buttons = [acc.name for acc in walk(box, False) if acc.getRoleName() == "push button"]
    return {"title": box.name or "", "labels": labels, "buttons": buttons, "extents": extents_of(box)}


def op_press_message_box_button(request):
    what = "message box %sof \"%s\"" % ("\"%s\" " % request["title"] if request.get("title") else "", request["app"])

    def probe():
        box = find_message_box(request)
        if box is None:
            return None
        return next((acc for acc in walk(box, False)
                     if acc.getRoleName() == "push button" and acc.name == request["button"]), None)
    press(wait_for(request, probe, "button \"%s\" in the %s" % (request["button"], what)))
    return True


def find_window(request):
    """A top-level window of the application by title, or else a message box with that title."""
    window = next((w for w in windows(application(request)) if w.name == request["title"]), None)
    return window if window is not None else find_message_box(request)


def op_screenshot(request):
    """The root window, or the region of one window of an application, into a PNG file."""
    command = ["import", "-window", "root"]
    if request.get("app"):
        window = wait_for(request, lambda: find_window(request),
                          "window \"%s\" of \"%s\"" % (request["title"], request["app"]))
        x, y, width, height = extents_of(window)
        command += ["-crop", "%dx%d+%d+%d" % (width, height, x, y), "+repage"]
    subprocess.run(command + [request["path"]], check=True, stdout=subprocess.DEVNULL,
                   timeout=DBUS_CALL_TIMEOUT_MS / 1000)
    return True


# ---- tray and balloons -------------------------------------------------------------------------

def session_bus():
    return Gio.bus_get_sync(Gio.BusType.SESSION, None)


def call(bus_name, path, interface, method, parameters, reply_type):
    return session_bus().call_sync(bus_name, path, interface, method, parameters,
                                   GLib.VariantType.new(reply_type) if reply_type else None,
                                   Gio.DBusCallFlags.NONE, DBUS_CALL_TIMEOUT_MS, None)


def registered_items():
    reply = call(WATCHER_NAME, WATCHER_PATH, PROPERTIES_INTERFACE, "Get",
                 GLib.Variant("(ss)", (WATCHER_NAME, "RegisteredStatusNotifierItems")), "(v)")
    return reply.unpack()[0]


def item_properties(item):
    bus_name, path = item.split("/", 1)
    reply = call(bus_name, "/" + path, PROPERTIES_INTERFACE, "GetAll", GLib.Variant("(s)", (ITEM_INTERFACE,)),
                 "(a{sv})")
    return bus_name, "/" + path, reply.unpack()[0]


def op_tray_items(request):
    items = []
    for item in registered_items():
        bus_name, path, properties = item_properties(item)
        tool_tip = properties.get("ToolTip") or ("", [], "", "")
        items.append({"service": bus_name, "path": path, "id": properties.get("Id", ""),
                      "title": properties.get("Title", ""), "status": properties.get("Status", ""),
                      "icon_name": properties.get("IconName", ""),
                      "has_icon_pixmap": len(properties.get("IconPixmap") or []) > 0,
                      "tool_tip_title": tool_tip[2], "tool_tip_text": tool_tip[3],
                      "menu": properties.get("Menu", "")})
    return items


def op_wait_tray_items(request):
    count = request.get("count", 1)
    return wait_for(request, lambda: op_tray_items(request) if len(registered_items()) >= count else None,
                    "%d tray item(s) to register" % count)


def tray_item(request, with_menu=True):
    items = op_tray_items(request)
    index = request.get("item", 0)
    if index >= len(items):
        raise Failure("no tray item number %d (%d registered)" % (index, len(items)))
    if with_menu and not items[index]["menu"]:
        raise Failure("tray item number %d has no menu" % index)
    return items[index]


def shown_label(label):
    """The label as a user reads it: dbusmenu marks the mnemonic with "_" and doubles a real one."""
    return label.replace("__", "\0").replace("_", "").replace("\0", "_")


def flatten_menu(node, depth, entries):
    entry_id, properties, children = node
    if depth > 0:
        entries.append({"id": entry_id, "label": shown_label(properties.get("label", "")),
                        "enabled": properties.get("enabled", True), "visible": properties.get("visible", True),
                        "separator": properties.get("type", "") == "separator",
                        "checked": properties.get("toggle-state", 0) == 1, "depth": depth - 1})
    for child in children:
        flatten_menu(child, depth + 1, entries)


def op_tray_menu(request):
    item = tray_item(request)
    # A host announces that it shows the menu: programs may fill it in just then.
    try:
        call(item["service"], item["menu"], MENU_INTERFACE, "AboutToShow", GLib.Variant("(i)", (0,)), "(b)")
    except GLib.GError:
        pass
    reply = call(item["service"], item["menu"], MENU_INTERFACE, "GetLayout",
                 GLib.Variant("(iias)", (0, -1, MENU_PROPERTIES)), "(u(ia{sv}av))")
    entries = []
    flatten_menu(reply.unpack()[1], 0, entries)
    return entries


def op_trigger_tray_entry(request):
    item = tray_item(request)
    entries = [e for e in op_tray_menu(request) if not e["separator"] and e["label"] == request["label"]]
    if not entries:
        raise Failure("the tray menu has no entry \"%s\"" % request["label"])
    if not entries[0]["enabled"] or not entries[0]["visible"]:
        raise Failure("the tray menu entry \"%s\" is disabled or hidden" % request["label"])
    call(item["service"], item["menu"], MENU_INTERFACE, "Event",
         GLib.Variant("(isvu)", (entries[0]["id"], "clicked", GLib.Variant("i", 0), 0)), None)
    return True


def op_activate_tray_item(request):
    item = tray_item(request, with_menu=False)
    call(item["service"], item["path"], ITEM_INTERFACE, "Activate", GLib.Variant("(ii)", (0, 0)), None)
    return True


def recorded_notifications(record_path):
    notifications = []
    with open(record_path, encoding="utf-8") as record:
        for line in record:
            entry = json.loads(line)
            if entry["event"] == "notify":
                entry["closed"] = False
                notifications.append(entry)
            else:
                for shown in notifications:
                    if shown["id"] == entry["id"]:
                        shown["closed"] = True
    return notifications


def make_notification_ops(record_path):
    def op_notifications(request):
        return recorded_notifications(record_path)

    def op_wait_notifications(request):
        count = request["count"]
        return wait_for(request, lambda: recorded_notifications(record_path)
                        if len(recorded_notifications(record_path)) >= count else None,
                        "notification number %d" % count)
    return op_notifications, op_wait_notifications


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: desktop_driver.py NOTIFICATION_RECORD\n")
        return 2
    # Answers get a descriptor of their own; anything else printing to standard output (a
    # library's warning, a tool) lands in the error log instead of between two answers.
    answers = os.fdopen(os.dup(sys.stdout.fileno()), "w", encoding="utf-8")
    os.dup2(sys.stderr.fileno(), sys.stdout.fileno())
    pyatspi.setTimeout(ATSPI_CALL_TIMEOUT_MS, ATSPI_START_TIMEOUT_MS)
    op_notifications, op_wait_notifications = make_notification_ops(sys.argv[1])
    ops = {name[3:]: function for name, function in globals().items() if name.startswith("op_")}
    ops["notifications"] = op_notifications
    ops["wait_notifications"] = op_wait_notifications
    for line in sys.stdin:
        try:
            request = json.loads(line)
            answer = {"ok": True, "value": ops[request["op"]](request)}
        except Failure as error:
            answer = {"ok": False, "error": str(error)}
        except Exception as error:  # one bad call must not end the driver for the rest of the test
            answer = {"ok": False, "error": "%s: %s" % (type(error).__name__, error)}
        answers.write(json.dumps(answer, ensure_ascii=False) + "\n")
        answers.flush()
    return 0


if __name__ == "__main__":
    sys.exit(main())
