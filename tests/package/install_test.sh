#!/usr/bin/env bash
# The Debian package as an administrator meets it, on the real system:
#   1. lintian finds no error; the package holds exactly the programs, their
#      man pages and the documentation; Depends names no -dev package and
#      no compiler;
#   2. apt-get installs it, and scrivlet-stand-in-server --version reports
#      the package's version;
#   3. the installed scrivlet, under Xvfb in a demo agent installation,
#      records a page of the installed stand-in server's demo application,
#      and "Save Transaction" uploads it: the server stores it as accepted,
#      and scrivlet says "The record session has been stopped" and ends;
#      the installed scrivlet-replay replays the stored upload, every step ok;
#   4. dpkg -r removes it and no file of it is left behind.
#
#   tests/package/install_test.sh build-package/scrivlet_<version>_amd64.deb
#
# Exits 0 when every check passed (or when it cannot install packages: not
# root and no sudo without a password; it says so), 1 otherwise. The package
# is removed again whatever happens, also after a failure or an interrupt; a
# copy left installed by a run that was killed is removed by the next run.
set -euo pipefail
export LC_ALL=C
repo=$(cd "$(dirname "$0")/../.." && pwd)
source "$repo/scripts/lib/demo-installation.bash"
source "$repo/scripts/lib/webkit-env.bash"

# Waits are generous: the machine may be busy; a wait that runs out fails.
readonly kWaitSeconds=90
# design NAME: the main window's design entry NAME ("LEFT TOP WIDTH HEIGHT"
# of a control, "WIDTH HEIGHT" of kForm), in twips, from the program's design
# table, which the windows and the end-to-end tests use too.
design() {
  local entry
  entry=$(sed -n '/^namespace main_window_design {/,/^}  \/\/ namespace main_window_design/{
      s/^inline constexpr Design[A-Za-z]* '"$1"'{\([0-9, ]*\)};.*/\1/p
    }' "$repo/src/ui/window_design.h" | tr -d ,)
  [[ -n "$entry" ]] || { echo "install_test: no $1 in src/ui/window_design.h" >&2; return 1; }
  echo "$entry"
}
# centre NAME: the middle of control NAME, in pixels (15 twips each) from the
# window's top left corner.
centre() {
  local entry left top width height
  entry=$(design "$1") || return 1
  read -r left top width height <<<"$entry"
  echo "$((left / 15 + width / 30)) $((top / 15 + height / 30))"
}
# The middle of the address box (Text1) and of "Save Transaction".
text1_point=$(centre kText1)
save_transaction_point=$(centre kEndRecord)
read -ra kText1Point <<<"$text1_point"
read -ra kSaveTransactionPoint <<<"$save_transaction_point"
# The main window's client area at design size, in pixels; the message box
# has the same title and is smaller.
form=$(design kForm)
read -r form_width form_height <<<"$form"
kMainSize=($((form_width / 15)) $((form_height / 15)))
readonly kText1Point kSaveTransactionPoint kMainSize

fail() {
  echo "install_test: FAIL: $*" >&2
  exit 1
}
note() { echo "install_test: $*"; }

(($# == 1)) || { echo "usage: tests/package/install_test.sh PACKAGE.deb" >&2; exit 2; }
[[ -f "$1" ]] || fail "no package at $1 (scripts/package builds it)"
deb=$(realpath "$1")

as_root=()
if [[ $(id -u) -ne 0 ]]; then
  if command -v sudo >/dev/null 2>&1 && sudo -n true 2>/dev/null; then
    as_root=(sudo -n)
  else
    note "SKIPPED: installing a package needs root or sudo without a password;"
    note "         run scripts/test as root (as CI does) to test the package."
    exit 0
  fi
fi

package=$(dpkg-deb -f "$deb" Package)
version=$(dpkg-deb -f "$deb" Version)
work=$(mktemp -d "${TMPDIR:-/tmp}/scrivlet-package-test.XXXXXX")
# Marks a package that this test installed, so that a run killed before it
# could remove it is cleaned up by the next one. A copy the administrator
# installed is never touched.
marker=/var/tmp/scrivlet-package-test.installed

installed_status() { dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true; }

xvfb_pid=
scrivlet_pid=
cleanup() {
  local status=$?
  set +e
  # Output may go to a reader that has gone (a pipe into head): the removal
  # below must still run.
  trap '' PIPE
  [[ -n "$scrivlet_pid" ]] && kill "$scrivlet_pid" 2>/dev/null && wait "$scrivlet_pid" 2>/dev/null
  demo_stop_server
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  if [[ -e "$marker" ]]; then
    note "removing $package again"
    "${as_root[@]}" dpkg -r "$package" >/dev/null && "${as_root[@]}" rm -f "$marker"
  fi
  if ((status == 0)); then rm -rf "$work"; else echo "install_test: its files are in $work" >&2; fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 141' PIPE
trap 'exit 143' TERM

# wait_for SECONDS COMMAND...: runs COMMAND every 0.2 s until it succeeds.
wait_for() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.2
  done
}

# --- 1. the package file ---------------------------------------------------
note "lintian $deb"
lintian_output=$(lintian --fail-on error "$deb" 2>&1) || {
  echo "$lintian_output" >&2
  fail "lintian reports errors"
}
echo "$lintian_output" | grep -v 'running with root privileges' || true

expected_files="./usr/bin/scrivlet
./usr/bin/scrivlet-replay
./usr/bin/scrivlet-stand-in-server
./usr/lib/x86_64-linux-gnu/scrivlet/web-extensions/libscrivlet-capture.so
./usr/share/doc/scrivlet/README.md
./usr/share/doc/scrivlet/changelog.gz
./usr/share/doc/scrivlet/copyright
./usr/share/man/man1/scrivlet-replay.1.gz
./usr/share/man/man1/scrivlet-stand-in-server.1.gz
./usr/share/man/man1/scrivlet.1.gz"
files=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sort)
[[ "$files" == "$expected_files" ]] ||
  fail "the package holds other files than the programs and their documentation:
$files"

depends=$(dpkg-deb -f "$deb" Depends)
note "Depends: $depends"
[[ "$depends" == *libwebkitgtk-6.0* && "$depends" == *libgtkmm-4.0* ]] ||
  fail "Depends lacks the toolkit libraries the binaries link to"
if grep -Eq '(^|[ ,])(lib[^ ,]*-dev|g\+\+|gcc|cmake|build-essential)([ ,(]|$)' <<<"$depends"; then
  fail "Depends names a development package or a compiler"
fi

# --- 2. install ------------------------------------------------------------
if [[ -e "$marker" && $(installed_status) == "install ok installed" ]]; then
  note "removing $package left installed by an earlier run of this test"
  "${as_root[@]}" dpkg -r "$package" >/dev/null
fi
"${as_root[@]}" rm -f "$marker"
if [[ $(installed_status) == "install ok installed" ]]; then
  note "SKIPPED: $package $(dpkg-query -W -f='${Version}' "$package") is installed on"
  note "         this machine already; this test would remove it. Remove it with"
  note "         dpkg -r $package to run the test."
  exit 0
fi

note "apt-get install $deb"
"${as_root[@]}" touch "$marker"
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -q --no-install-recommends -o DPkg::Lock::Timeout=300 \
  "$deb" >"$work/apt.log" 2>&1 || {
  cat "$work/apt.log" >&2
  fail "apt-get could not install the package"
}
[[ $(installed_status) == "install ok installed" ]] || fail "the package is not installed after apt-get"
installed_paths=$(dpkg-query -L "$package")

for program in scrivlet scrivlet-replay scrivlet-stand-in-server; do
  [[ -x /usr/bin/$program ]] || fail "/usr/bin/$program is not an installed program"
done
reported=$(/usr/bin/scrivlet-stand-in-server --version)
[[ "$reported" == "scrivlet-stand-in-server $version" ]] ||
  fail "scrivlet-stand-in-server --version says \"$reported\", the package is $version"

# --- 3. record and upload with the installed programs ---------------------
uploads="$work/uploads"
server_log="$work/server.log"
demo_start_server /usr/bin/scrivlet-stand-in-server "$uploads" "$server_log" ||
  fail "the installed stand-in server did not start"
demo_lay_out "$work/agent" "$demo_server_url"

# A private X server; -displayfd picks a free display.
exec {display_fd}>"$work/display"
Xvfb -displayfd "$display_fd" -screen 0 1280x1024x24 -nolisten tcp -noreset \
  >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
exec {display_fd}>&-
wait_for 20 test -s "$work/display" || fail "Xvfb did not start"
display=":$(tr -d '[:space:]' <"$work/display")"

# The program's environment: a private home, no session bus, no GPU.
home="$work/home"
mkdir -p "$home/runtime"
chmod 700 "$home/runtime"
run_env=(env -i PATH=/usr/bin:/bin HOME="$home" TMPDIR="$home" LC_ALL=C
  XDG_CONFIG_HOME="$home/config" XDG_CACHE_HOME="$home/cache"
  XDG_DATA_HOME="$home/data" XDG_STATE_HOME="$home/state"
  XDG_RUNTIME_DIR="$home/runtime" DISPLAY="$display" GSK_RENDERER=cairo
  DBUS_SESSION_BUS_ADDRESS="unix:path=$home/no-session-bus"
  "${webkit_env[@]}" "${headless_env[@]}")

xdo() { DISPLAY="$display" xdotool "$@"; }
scrivlet_running() { kill -0 "$scrivlet_pid" 2>/dev/null; }
# Prints the visible windows titled exactly TITLE, one id a line.
windows_titled() { xdo search --onlyvisible --name "^$1\$" 2>/dev/null || true; }
# window_size ID: prints "WIDTH HEIGHT".
window_size() {
  xdo getwindowgeometry --shell "$1" | sed -n 's/^\(WIDTH\|HEIGHT\)=//p' | tr '\n' ' '
}
# find_scrivlet_window big|small: sets found_window to the visible "Nerovant
# Scrivlet" window at least as big as the main window (big) or smaller
# (small, the message box).
find_scrivlet_window() {
  local window width height size
  found_window=
  for window in $(windows_titled "Nerovant Scrivlet"); do
    read -r width height <<<"$(window_size "$window")"
    size=small
    ((width >= kMainSize[0] && height >= kMainSize[1])) && size=big
    [[ $size == "$1" ]] && found_window=$window
  done
  [[ -n "$found_window" ]]
}
activate() { xdo windowraise "$1"; xdo windowfocus "$1"; }
click_in() { xdo mousemove --window "$1" "$2" "$3"; xdo click 1; }
# dialog_shown TITLE: sets dialog to the visible window TITLE, if any.
dialog_shown() { dialog=$(windows_titled "$1" | tail -n 1); [[ -n "$dialog" ]]; }
dialog_gone() { ! windows_titled "$1" | grep -qx "$dialog"; }
scrivlet_ended() { ! scrivlet_running; }
# answer_dialog TITLE: dismisses the credential dialog TITLE with Escape, as
# a user who records without credentials does.
answer_dialog() {
  dialog=
  wait_for "$kWaitSeconds" dialog_shown "$1" || fail "the dialog \"$1\" did not appear"
  activate "$dialog"
  xdo key Escape
  wait_for "$kWaitSeconds" dialog_gone "$1" || fail "the dialog \"$1\" did not close"
}

note "running /usr/bin/scrivlet in $demo_workdir (display $display)"
(cd "$demo_workdir" && exec "${run_env[@]}" /usr/bin/scrivlet) >"$work/scrivlet.log" 2>&1 &
scrivlet_pid=$!

wait_for "$kWaitSeconds" find_scrivlet_window big ||
  fail "the main window \"Nerovant Scrivlet\" did not appear"
main_window=$found_window
answer_dialog "Network Login"
answer_dialog "Proxy Login"

demo_url="${demo_server_url}demo/"
activate "$main_window"
click_in "$main_window" "${kText1Point[@]}"
xdo key ctrl+a
xdo type --delay 8 -- "$demo_url"
xdo key Return
# The document names the path in REQUEST-LINE and the server in Host.
trans_xml="$demo_workdir/trans.xml"
demo_host=${demo_server_url#http://}
demo_host=${demo_host%/}
recorded_demo() {
  grep -qF "<URI>/demo/</URI>" "$1" && grep -qF "<HL>Host: $demo_host</HL>" "$1"
}
wait_for "$kWaitSeconds" recorded_demo "$trans_xml" ||
  fail "trans.xml did not record $demo_url; it holds: $(cat "$trans_xml" 2>/dev/null)"

note "Save Transaction"
activate "$main_window"
click_in "$main_window" "${kSaveTransactionPoint[@]}"
wait_for "$kWaitSeconds" grep -q '^stored upload in ' "$server_log" ||
  fail "the stand-in server stored no upload; its log: $(cat "$server_log")"
folder=$(demo_stored_uploads "$server_log" 0)
verdict=$(head -n 1 "$folder/verdict.txt")
[[ "$verdict" == accepted ]] || fail "the upload was $verdict"
[[ $(cat "$folder/uuid.txt") == "$demo_uuid" ]] || fail "the upload carries another uuid"
[[ $(cat "$folder/name.txt") == "$demo_transaction_name" ]] || fail "the upload carries another name"
recorded_demo "$folder/trans.xml" ||
  fail "the uploaded document lacks $demo_url"

wait_for "$kWaitSeconds" find_scrivlet_window small ||
  fail "no message \"The record session has been stopped\""
activate "$found_window"
xdo key Return
wait_for "$kWaitSeconds" scrivlet_ended || fail "scrivlet did not end"
scrivlet_status=0
wait "$scrivlet_pid" || scrivlet_status=$?
scrivlet_pid=
((scrivlet_status == 0)) || fail "scrivlet ended with status $scrivlet_status"
[[ ! -e "$trans_xml" && ! -e "$demo_workdir/transName.txt" ]] ||
  fail "scrivlet left its working files behind"
! grep -F "form capture module" "$work/scrivlet.log" ||
  fail "the installed scrivlet does not find its web process extension"
note "recorded and uploaded: $folder ($verdict)"

# The installed scrivlet-replay replays the uploaded copy against the
# stand-in server, still running.
replayed=$(/usr/bin/scrivlet-replay --json "$folder/trans.xml") &&
  [[ "$replayed" == *"\"url\":\"$demo_url\""*"\"verdict\":\"ok\""* ]] ||
  fail "scrivlet-replay does not replay the upload of $demo_url: $replayed"

# --- 4. remove ---------------------------------------------------------------
note "dpkg -r $package"
"${as_root[@]}" dpkg -r "$package" >/dev/null
"${as_root[@]}" rm -f "$marker"
[[ -z $(installed_status) || $(installed_status) == *not-installed ]] ||
  fail "dpkg still knows $package: $(installed_status)"
left=()
while IFS= read -r path; do
  [[ -e "$path" || -L "$path" ]] || continue
  # A directory that another package owns too stays, rightly.
  [[ -d "$path" ]] && dpkg-query -S "$path" >/dev/null 2>&1 && continue
  left+=("$path")
done <<<"$installed_paths"
((${#left[@]} == 0)) || fail "files of the package are left behind: ${left[*]}"

note "PASS: $package $version installs, records and uploads, and leaves nothing behind"
