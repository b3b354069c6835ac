#!/usr/bin/env bash
# Sets up a fresh machine, builds the suite's Debian package, installs it and starts the suite
# for trying: the machine's CUPS gets one network and one USB queue, the printer simulator
# plays both printers in the background and runs the installed service as its child.
# Running it again replaces the queues and restarts the simulator and the service.
#   bash packaging/run-suite.sh          set up, build, install and start
#   bash packaging/run-suite.sh --stop   stop the simulator and the service, delete the queues
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)

if [ "$(id -u)" -ne 0 ]; then
  exec sudo bash "$0" "$@"
fi

root=/opt/vorn/vorn-printer-t905
# The simulator runs on the tests' USB harness, so it is built in the folder (and with the
# options) that packaging/test-suite.sh uses.
sim_build=$top/build/plain
simulator=$sim_build/tools/printer-sim/vorn-printer-sim
# The simulator's control socket, its logs and the process ids of this run.
state=/run/vorn-printer-sim

net_queue=Vorn-VC5100DNW-Network
net_model=VC5100DNW
net_address=127.0.0.2
usb_queue=Vorn-VL2120DN-USB
usb_model=VL2120DN
usb_serial=SN00000042

say() { printf '\n=== %s\n' "$*"; }
die() { printf 'run-suite: %s\n' "$*" >&2; exit 1; }

# Sends TERM to the process in the pid file if it still is the named program, and waits for it.
stop_recorded() { # pid file, command name
  local file=$1 name=$2 pid
  [ -f "$file" ] || return 0
  pid=$(cat "$file")
  rm -f "$file"
  [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "$name" ] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 100); do
    [ -d "/proc/$pid" ] || return 0
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
}

stop_simulator() {
  # The simulator stops its child first; the service's own pid is only the fallback.
  stop_recorded "$state/simulator.pid" vorn-printer-si
  stop_recorded "$state/service.pid" vornT905Service
}

scheduler_running() {
  LC_ALL=C lpstat -r 2>/dev/null | grep -qx "scheduler is running"
}

delete_queues() {
  scheduler_running || return 0
  local queue
  for queue in "$net_queue" "$usb_queue"; do
    if lpstat -v "$queue" > /dev/null 2>&1; then
      lpadmin -x "$queue"
    fi
  done
}

# On a machine with systemd the installed package runs the service under its watchdog unit;
# the simulated USB bus exists only for the simulator's children, so the unit pauses meanwhile.
watchdog_unit=vorn-printer-watchdog.service
systemd_running() { [ -d /run/systemd/system ]; }

if [ "${1:-}" = "--stop" ]; then
  stop_simulator
  delete_queues
  echo "Stopped the printer simulator and the service, deleted the queues $net_queue and $usb_queue."
  if systemd_running && systemctl is-enabled --quiet "$watchdog_unit" 2>/dev/null; then
    systemctl start "$watchdog_unit"
    echo "Started $watchdog_unit again."
  fi
  if [ -f "$state/cupsd.pid" ]; then
    stop_recorded "$state/cupsd.pid" cupsd
    echo "Stopped the CUPS scheduler that run-suite.sh had started."
  fi
  echo "The suite stays installed in $root/ (apt remove vorn-printer-t905 removes it)."
  exit 0
fi
[ $# -eq 0 ] || die "usage: bash packaging/run-suite.sh [--stop]"

say "Installing the packages the suite needs to build, run and meet the simulator"
bash packaging/install-deps.sh runtime build sim

say "Building the suite's package and the printer simulator in $sim_build"
deb=$(bash packaging/build-debs.sh --arch amd64 | tail -n 1)
cmake -S . -B "$sim_build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > /dev/null
cmake --build "$sim_build" -j"$(nproc)" --target vorn-printer-sim

say "Installing $deb"
stop_simulator
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --reinstall "$top/$deb" > /dev/null
if systemd_running; then
  systemctl stop "$watchdog_unit"
  echo "paused $watchdog_unit: the simulator runs the service instead until --stop"
fi

say "Starting CUPS and creating the queues"
mkdir -p "$state"
if ! scheduler_running; then
  if [ -d /run/systemd/system ]; then
    systemctl start cups
  else
    # No init system (a container, a fresh chroot): start the scheduler as its own daemon,
    # and remember it so that --stop ends it again.
    cupsd
    started_cupsd=yes
  fi
  for _ in $(seq 100); do
    scheduler_running && break
    sleep 0.1
  done
  scheduler_running || die "the CUPS scheduler does not start; see /var/log/cups/error_log"
  if [ "${started_cupsd:-}" = yes ]; then
    cp /run/cups/cupsd.pid "$state/cupsd.pid"
  fi
fi

# A raw-only PPD: the suite's drivers are not part of this checkout, and the suite only needs
# the *ModelName to tell its queues apart.
write_ppd() { # file, model code
  cat > "$1" <<EOF
*PPD-Adobe: "4.3"
*FormatVersion: "4.3"
*FileVersion: "1.0"
*LanguageVersion: English
*LanguageEncoding: ISOLatin1
*PCFileName: "VORN.PPD"
*Manufacturer: "Vorn"
*Product: "(Vorn $2)"
*ModelName: "Vorn $2"
*ShortNickName: "Vorn $2"
*NickName: "Vorn $2"
*PSVersion: "(3010.000) 0"
*LanguageLevel: "3"
*ColorDevice: False
*DefaultColorSpace: Gray
*FileSystem: False
*Throughput: "1"
*LandscapeOrientation: Plus90
*TTRasterizer: Type42
*OpenUI *PageSize: PickOne
*DefaultPageSize: A4
*PageSize A4/A4: "<</PageSize[595 842]>>setpagedevice"
*CloseUI: *PageSize
*DefaultImageableArea: A4
*ImageableArea A4: "0 0 595 842"
*DefaultPaperDimension: A4
*PaperDimension A4: "595 842"
EOF
}

add_queue() { # name, device URI, model code
  local ppd="$state/Vorn_$3.ppd" output
  write_ppd "$ppd" "$3"
  # lpadmin warns on every call that PPDs are deprecated; only a failure is worth showing.
  output=$(lpadmin -p "$1" -E -v "$2" -P "$ppd" 2>&1) || die "lpadmin refused $1: $output"
  echo "queue $1: $2 (Vorn $3)"
}

delete_queues
# Nothing listens on port 9100, so a job sent to this queue stays printing: the service then
# polls the printer and watches the job, and cancelling it shows the cancel reaching the printer.
add_queue "$net_queue" "socket://$net_address:9100" "$net_model"
add_queue "$usb_queue" "usb://Vorn/$usb_model?serial=$usb_serial" "$usb_model"
lpadmin -d "$net_queue"
echo "default printer: $net_queue"

# The service reads /etc/cups/printers.conf, which CUPS saves up to about 30 s after a change.
echo "waiting for CUPS to save the queues to /etc/cups/printers.conf ..."
queues_saved() {
  grep -Eq "^<(Default)?Printer $net_queue>" /etc/cups/printers.conf 2>/dev/null &&
    grep -Eq "^<(Default)?Printer $usb_queue>" /etc/cups/printers.conf 2>/dev/null
}
for _ in $(seq 600); do
  queues_saved && break
  sleep 0.1
done
queues_saved || echo "CUPS has not saved them yet; the service picks them up once it has."

say "Starting the printer simulator with the service as its child"
# The service refuses to start while another one runs anywhere on the machine. One inside another
# PID namespace belongs to an end-to-end test, which ends within seconds: wait for it.
for attempt in $(seq 60); do
  others=$(pgrep -x vornT905Service || true)
  [ -n "$others" ] || break
  for pid in $others; do
    [ "$(readlink "/proc/$pid/ns/pid")" != "$(readlink /proc/self/ns/pid)" ] ||
      die "another vornT905Service runs already (pid $pid); stop it first."
  done
  [ "$attempt" -gt 1 ] || echo "waiting for the end-to-end tests that run vornT905Service to end ..."
  [ "$attempt" -lt 60 ] || die "end-to-end tests keep running vornT905Service (pids $(echo $others)); try again later."
  sleep 1
done
cat > "$state/printers.conf" <<EOF
# The printers behind the queues $net_queue and $usb_queue.
add net udp $net_address $net_model
add usb usb $usb_model $usb_serial
EOF
rm -f "$state/events.log"
# The simulated USB bus exists only inside the simulator and its children, so the service runs
# as its child. setsid keeps both out of this terminal's signals.
setsid "$simulator" --config "$state/printers.conf" --control-dir "$state" --event-log "$state/events.log" \
  -- "$root/bin/vornT905Service" < /dev/null > "$state/simulator.log" 2>&1 &
simulator_pid=$!
echo "$simulator_pid" > "$state/simulator.pid"
service_pid=
for _ in $(seq 100); do
  [ -d "/proc/$simulator_pid" ] || break
  service_pid=$(pgrep -P "$simulator_pid" -x vornT905Service || true)
  [ -n "$service_pid" ] && break
  sleep 0.1
done
# The service gives up at once when it finds another instance; give it time to look.
sleep 2
if [ -z "$service_pid" ] || [ ! -d "/proc/$service_pid" ]; then
  die "the simulator or the service did not start (is another vornT905Service running?); see $state/simulator.log"
fi
echo "$service_pid" > "$state/service.pid"

send="$simulator --send $state"
cat <<EOF

The suite runs: the printer simulator (pid $simulator_pid) plays the printer "net" on
$net_address (queue $net_queue, the default printer) and the USB printer "usb" (queue
$usb_queue); vornT905Service (pid $service_pid) runs as the simulator's child.
Programs installed in $root/bin/: $(ls "$root/bin" | tr '\n' ' ')

What to look at (the service renews them every few seconds):
  $root/cfg/printerlist.ini         the printers the service found
  $root/cfg/$net_queue.dat   status records, one file per printer
  $root/cfg/$usb_queue.dat
  $root/cfg/service.hb              the heartbeat
  $state/events.log          every request the simulated printers received
  $state/simulator.log       the simulator's and the service's output

Drive the simulated printers; the service reads the USB printer every 1.5 s, so its status
file follows within a few seconds:
  $send printers
  $send set usb toner 1500
  $send warning add usb 0x110D
  $send clear usb
  $send help
The service reads a ready network printer only while its queue prints. A job on $net_queue
stays printing (nothing listens on port 9100), so while it lasts changes of "net" show, and
cancelling it sends the cancel to the printer:
  echo hello | lp -d $net_queue -o raw
  $send error add net 0x1106
  cancel -a $net_queue; sleep 5; grep cancel $state/events.log

What the service publishes, readable (--json for scripts):
  vorn-printer-status

Stop it all and delete the two queues:
  bash packaging/run-suite.sh --stop
Remove the suite (deletes its queues), or remove it with everything it wrote:
  apt remove vorn-printer-t905      apt purge vorn-printer-t905
EOF
