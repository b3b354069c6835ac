#!/usr/bin/env bash
# Checks a package the way a user meets it: builds it, lintian finds no error, the file list is
# complete, the units pass systemd-analyze. The amd64 package then installs, the status command
# reads the simulator-fed service (text and JSON), removal deletes the queues and the units, and
# purge leaves nothing under /opt/vorn: the machine ends without the package, as CI found it.
#   bash packaging/test-packages.sh --arch amd64|arm64 [--with-tests]   (--with-tests: see build-debs.sh)
set -euo pipefail
cd "$(dirname "$0")/.."

[ $# -ge 2 ] && [ "$1" = "--arch" ] || { echo "usage: bash packaging/test-packages.sh --arch amd64|arm64 [--with-tests]" >&2; exit 2; }
arch=$2
shift 2

package=vorn-printer-t905
root=/opt/vorn/vorn-printer-t905
fail() { echo "test-packages: $*" >&2; exit 1; }
step() { printf '=== package %s: %s\n' "$arch" "$*"; }

if [ "$arch" = amd64 ] && dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
  fail "$package is installed already; remove it first (apt-get purge $package)"
fi

step "build"
deb=$(bash packaging/build-debs.sh --arch "$arch" "$@" | tail -n 1)
[ "$(dpkg-deb -f "$deb" Architecture)" = "$arch" ] || fail "$deb is not an $arch package"

step "lintian"
lintian --fail-on error "$deb"

step "file list"
listing=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's|^\./|/|')
expected=(
  "$root/bin/vornT905Service" "$root/bin/VornPrintWatchdog" "$root/bin/VornPrintUninstall"
  "$root/bin/VornScanDaemon" "$root/bin/vorn-printer-status" /usr/bin/vorn-printer-status
  /lib/systemd/system/vorn-printer-watchdog.service /lib/systemd/system/vorn-scan-daemon.service
  /usr/lib/udev/rules.d/70-vorn-printer-t905.rules /usr/share/doc/$package/copyright
)
# The graphical programs, their menu entries and icons come with their folders.
[ ! -d monitor ] || expected+=("$root/bin/VornPrinterTool" "$root/bin/vorn-t905-tool-autostart.desktop"
  /usr/share/applications/vorn-printer-tool.desktop /usr/share/pixmaps/VornPrinterTool.png)
[ ! -d setting ] || expected+=("$root/bin/VornPrintSetting"
  /usr/share/applications/vorn-print-setting.desktop /usr/share/pixmaps/VornPrintSetting.png)
[ ! -d fwupdate ] || expected+=("$root/bin/vornT905FW"
  /usr/share/applications/vorn-t905-fw.desktop /usr/share/pixmaps/vornT905FW.png)
for path in "${expected[@]}"; do
  grep -qx "$path" <<<"$listing" || fail "the package lacks $path"
done
[ ! -d sane ] || expected+=(/etc/sane.d/dll.d/vorn /etc/sane.d/vorn.conf)
# Nothing of the tests, simulators or developer tools.
if grep -E 'test|sim|bench|fuzz|scan-client|model-table' <<<"$listing"; then
  fail "the package carries test or developer files (above)"
fi

step "binaries"
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
machine=$([ "$arch" = arm64 ] && echo AArch64 || echo "X86-64")
for program in "$unpacked$root"/bin/*; do
  [ -L "$program" ] || [ "${program##*.}" = desktop ] || readelf -h "$program" | grep -q "Machine: *.*$machine" ||
    fail "$program is not built for $arch"
done

step "systemd-analyze verify"
# verify wants the executables where the units name them: the package's /opt in a private
# mount namespace. It exits 0 on an unknown key, so any line it prints is a failure.
verify=$(unshare --mount --propagation private sh -c 'mount -t tmpfs tmpfs /opt && cp -a "$1/opt/." /opt/ &&
  SYSTEMD_LOG_LEVEL=warning systemd-analyze verify "$1"/lib/systemd/system/vorn-*.service' sh "$unpacked" 2>&1) ||
  fail "systemd-analyze verify: $verify"
[ -z "$verify" ] || fail "systemd-analyze verify: $verify"

if [ "$arch" != amd64 ]; then
  echo "package $arch: built and checked (installed only on its own architecture)"
  exit 0
fi

step "install, start on the printer simulator"
# run-suite.sh is the README's first command: it builds and installs this package and starts
# the installed service as the simulator's child, with a network and a USB queue in CUPS.
bash packaging/run-suite.sh > build/run-suite.log 2>&1 || { cat build/run-suite.log; fail "run-suite.sh failed"; }
status=/usr/bin/vorn-printer-status
sim="build/plain/tools/printer-sim/vorn-printer-sim --send /run/vorn-printer-sim"
$sim set usb toner 1500 > /dev/null
$sim warning add usb 0x110D > /dev/null
# The service reads the USB printer every 1.5 s and renews its heartbeat every 5 s.
for _ in $(seq 60); do
  text=$($status 2>&1) && grep -q "Toner low" <<<"$text" && break
  sleep 0.5
done
echo "$text"
grep -q "^service: running (heartbeat " <<<"$text" || fail "the status command does not see the service"
grep -q "^Vorn-VL2120DN-USB (Vorn VL2120DN)$" <<<"$text" || fail "the USB printer is missing"
grep -q "^  toner:       15.00%$" <<<"$text" || fail "the USB printer's toner is wrong"
grep -q "^  warnings:    Toner low$" <<<"$text" || fail "the USB printer's warning is missing"
grep -q "^Vorn-VC5100DNW-Network (Vorn VC5100DNW)$" <<<"$text" || fail "the network printer is missing"
$status --json | python3 -c '
import json, sys
report = json.load(sys.stdin)
assert report["service"]["alive"] is True, report["service"]
printers = {p["name"]: p for p in report["printers"]}
usb = printers["Vorn-VL2120DN-USB"]
assert usb["connection"] == "usb" and usb["online"] is True, usb
assert usb["toner_percent"] == 15.0, usb
assert [w["text"]["zh"] for w in usb["warnings"]] == ["碳粉不足"], usb["warnings"]
assert printers["Vorn-VC5100DNW-Network"]["connection"] == "network"
' || fail "the status command's JSON is wrong"
LANG=zh_CN.UTF-8 $status | grep -q "碳粉不足" || fail "no Chinese texts under a Chinese locale"

step "remove"
apt-get remove -y -qq "$package" > /dev/null
for queue in Vorn-VC5100DNW-Network Vorn-VL2120DN-USB; do
  ! lpstat -v "$queue" > /dev/null 2>&1 || fail "queue $queue survived the removal"
done
for unit in vorn-printer-watchdog.service vorn-scan-daemon.service; do
  [ ! -e "/lib/systemd/system/$unit" ] || fail "unit $unit survived the removal"
done
[ ! -e "$root/bin/vornT905Service" ] || fail "programs survived the removal"
# The service the simulator started keeps running from its deleted file until it is stopped.
bash packaging/run-suite.sh --stop > /dev/null

step "purge"
apt-get purge -y -qq "$package" > /dev/null
[ ! -e /opt/vorn ] || { find /opt/vorn; fail "purge left files under /opt/vorn"; }
[ ! -e /usr/bin/vorn-printer-status ] || fail "purge left the status command"
echo "package: installed, read, removed and purged cleanly"
