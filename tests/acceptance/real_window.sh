#!/usr/bin/env bash
# The real program in a real X window, driven only with input events as an operator drives it:
# a fresh demo installation, the ready form, lines marked and unmarked with the mouse, rates and
# rounding methods typed on the keyboard, F1, the confirmation answered Yes with its shortcut (its
# default is No), the completion message answered, F12; then the
# database is checked row by row against the conversion worked out here by hand. Last, a start
# on a machine without data folders must show its message and end when it is answered.
#
# Usage: real_window.sh KRT550 KRT550_INSTALL OUTPUT_FOLDER
# Screenshots of the ready form and of the completion message go to OUTPUT_FOLDER; the
# installation lives in OUTPUT_FOLDER/real-window-work while the test runs (one run at a time per
# folder), so that even a run killed outright leaves nothing elsewhere.
set -Eeuo pipefail

program=${1:?the krt550 executable}
installer=${2:?the krt550-install executable}
out=${3:?the folder for screenshots}

say() { printf 'real-window [%3ds]: %s\n' "$SECONDS" "$*"; }
fail() {
  printf 'real-window: FAIL: %s\n' "$*" >&2
  if [ -n "${DISPLAY:-}" ]; then
    import -window root "$out/real-window-failure.png" 2>/dev/null &&
      say "screen at the failure: $out/real-window-failure.png"
  fi
  exit 1
}

for tool in Xvfb xdotool sqlite3 import awk; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup installs it)"
done
mkdir -p "$out"
out=$(cd "$out" && pwd)
work="$out/real-window-work"
rm -rf "$work" "$out"/real-window-*.png
mkdir "$work"
xvfb_pid=
program_pid=

stop() {
  local pid=$1
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
cleanup() {
  local status=$?
  stop "$program_pid"
  stop "$xvfb_pid"
  if [ "$status" -ne 0 ] && [ -s "$work/program.log" ]; then
    say "program output:"
    sed 's/^/  /' "$work/program.log"
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
# No step may end the test without saying which (a command substitution's own failures are its
# caller's to judge).
failed_step() {
  [ "$BASHPID" = "$$" ] || return 0
  fail "line $1: \"$2\" failed"
}
trap 'failed_step $LINENO "$BASH_COMMAND"' ERR
trap 'exit 130' INT
trap 'exit 143' TERM HUP

# Waits until a command succeeds: wait_for SECONDS WHAT COMMAND...
wait_for() {
  local seconds=$1 what=$2
  shift 2
  local deadline=$((SECONDS + seconds))
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || fail "gave up waiting for $what"
    sleep 0.1
  done
}
# Gives a window the keyboard and waits until the server has done so.
focus_window() {
  timeout 20 xdotool windowfocus --sync "$1" || fail "window $1 did not take the keyboard"
}
program_alive() {
  kill -0 "$program_pid" 2>/dev/null || fail "the program ended early"
}

# --- An X display of its own. The server picks a free display number and reports it. It must
# not reset when its last client leaves: the display check below is such a client, and a server
# resetting just then refuses the program's connection. ---------------------------------------
Xvfb -displayfd 3 -screen 0 1280x1024x24 -dpi 96 -nolisten tcp -noreset 3>"$work/display" \
  >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
wait_for 20 "the X server" test -s "$work/display"
display=$(tr -dc '0-9' <"$work/display")
export DISPLAY=":$display"
has_display() { xdotool getdisplaygeometry >/dev/null 2>&1; }
wait_for 10 "the X display $DISPLAY" has_display
say "X display $DISPLAY"

# --- A fresh demo installation. --------------------------------------------------------------
root="$work/installation"
"$installer" --root "$root" --databases 2 --categories 12 --goods 300 --stock 300 --movements 600 \
  >"$work/install.log" 2>&1 || {
  cat "$work/install.log"
  fail "the installation could not be created"
}
db="$root/db/TMCS00.db"
cp "$db" "$work/before.db"

# --- The program on it. ----------------------------------------------------------------------
mkdir -m 700 "$work/runtime"
env QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$root/config" \
  TMCS_DRIVE_ROOT="$root/drives" "$program" >"$work/program.log" 2>&1 &
program_pid=$!

# A window's left, top, width and height on the screen.
geometry() {
  xdotool getwindowgeometry --shell "$1" |
    awk -F= '{ v[$1] = $2 } END { print v["X"], v["Y"], v["WIDTH"], v["HEIGHT"] }'
}
# The main form: the program's visible window of the form's size; a message box is smaller.
form_window() {
  local id w
  for id in $(xdotool search --onlyvisible --pid "$program_pid" 2>/dev/null); do
    w=$(geometry "$id" | cut -d' ' -f3)
    if [ "$w" -gt 600 ] && [ "$(xdotool getwindowname "$id")" = "売価更新" ]; then
      echo "$id"
      return 0
    fi
  done
  return 1
}
# A box of the program: any of its windows but the form and the run's progress dialog. A window
# that closes while it is looked at (its name can no longer be read) is none.
message_box() {
  local id name
  for id in $(xdotool search --onlyvisible --pid "$program_pid" 2>/dev/null); do
    [ "$id" != "$form" ] || continue
    name=$(xdotool getwindowname "$id" 2>/dev/null) || continue
    [[ $name != *変換中* ]] || continue
    echo "$id"
    return 0
  done
  return 1
}
# Waits until a box is shown and has stayed for half a second, and names it in $box:
# wait_box SECONDS WHAT
box=
box_settled() {
  program_alive
  box=$(message_box) || return 1
  sleep 0.5
  [ "$(message_box || true)" = "$box" ]
}
wait_box() { wait_for "$1" "$2" box_settled; }
has_form() { program_alive && form_window >/dev/null; }
wait_for 60 "the main form" has_form
form=$(form_window)
read -r left top width height < <(geometry "$form")
say "main form window $form at $left,$top, ${width}x$height"
# The form's client area is 15270 by 10725 twips; everything is placed from that layout.
skew=$((width * 10725 - height * 15270))
[ "${skew#-}" -le $((15270 + 10725)) ] ||
  fail "the form is ${width}x$height, not in the proportion of its layout"
px_x() { echo $((left + ($1 * width + 7635) / 15270)); }
px_y() { echo $((top + ($1 * height + 5362) / 10725)); }

# Without a window manager nobody gives the window the keyboard: give it, as a click on a
# title bar would.
focus_window "$form"
sleep 0.5
import -window root "$out/real-window-ready.png"
say "ready form: $out/real-window-ready.png"

# --- Marks with the mouse. --------------------------------------------------------------------
# The program holds the catalog open; a reader waits for its writes.
q() { sqlite3 -cmd '.timeout 5000' -separator '|' "$db" "$@"; }

# The grid lines in their order on screen: not converted first, then by category key.
mapfile -t lines < <(q \
  "SELECT ITEM_CD || '|' || IFNULL(DETAIL_NO, 0) FROM MITEMCNT ORDER BY UPDATE_DATE, ITEM_CD, DETAIL_NO")
[ "${#lines[@]}" -ge 5 ] || fail "the work list has ${#lines[@]} lines"
marked=$(q "SELECT COUNT(*) FROM MITEMCNT WHERE CHK = 1")
[ "$marked" -eq "${#lines[@]}" ] || fail "$marked of ${#lines[@]} lines are marked at the start"

chk() {
  local key=$1
  q "SELECT IFNULL(CHK, 'null') FROM MITEMCNT
     WHERE ITEM_CD = '${key%|*}' AND IFNULL(DETAIL_NO, 0) = ${key#*|}"
}
has_chk() { [ "$(chk "$1")" = "$2" ]; }
# Clicks the name column of a visible grid line (the grid at 4680, 1750; lines 390 twips high)
# and waits until the program has stored the mark.
click_line() {
  local row=$1 expected=$2
  xdotool mousemove "$(px_x 7780)" "$(px_y $((1750 + 390 * row + 195)))" click 1
  wait_for 10 "mark $expected of line $row (${lines[$row]})" has_chk "${lines[$row]}" "$expected"
  # Apart by more than a double-click interval.
  sleep 0.6
}
unmarked=${lines[1]}
click_line 1 0
click_line 3 0
click_line 3 1
say "line 1 ($unmarked) unmarked; line 3 (${lines[3]}) unmarked and marked again"

# --- Rates and rounding on the keyboard. ---------------------------------------------------------
# The old-rate box of method 1: the panel at 480, 3960, its method frame at 2760, 120 inside,
# the box at 1440, 870 inside that, 480 by 300.
xdotool mousemove "$(px_x 4920)" "$(px_y 5100)" click 1
sleep 0.3
# 8 Enter 10 Enter: old rate 8, new rate 10, on to the goods rounding method.
xdotool key --delay 80 8 Return 1 0 Return
# Goods: two to the right of "なし" is "切捨て", at the ones digit; Enter, Enter leads through
# the digit row to the add-on rounding method, where three to the right is "四捨五入".
xdotool key --delay 80 Right Right Return Return Right Right Right
sleep 0.3
program_alive
today_before=$(date +%Y/%m/%d)

# --- F1, the confirmation answered Yes (its default is No), and the completion message. -------
xdotool key F1
wait_box 60 "the confirmation after F1"
confirm=$box
import -window root "$out/real-window-confirm.png"
say "confirmation: $out/real-window-confirm.png"
focus_window "$confirm"
xdotool key alt+y
confirm_gone() {
  program_alive
  [ "$(message_box || true)" != "$confirm" ]
}
wait_for 20 "the confirmation to close" confirm_gone
wait_box 120 "the message after F1"
import -window root "$out/real-window-10009.png"
say "message after F1: $out/real-window-10009.png"
focus_window "$box"
xdotool key Return
box_gone() { ! message_box >/dev/null; }
wait_for 20 "the message to close" box_gone
today_after=$(date +%Y/%m/%d)

# --- F12. -------------------------------------------------------------------------------------
focus_window "$form"
sleep 0.3
xdotool key F12
program_ended() { ! kill -0 "$program_pid" 2>/dev/null; }
wait_for 30 "the program to end after F12" program_ended
status=0
wait "$program_pid" || status=$?
program_pid=
[ "$status" -eq 0 ] || fail "the program ended with status $status"
say "program ended with status 0"

# --- The database. ----------------------------------------------------------------------------
# The category control table: the unmarked line stays unconverted; every other line is
# converted today with the conditions typed.
row=$(q "SELECT IFNULL(UPDATE_DATE, 'null'), IFNULL(TAX_ST, 'null') FROM MITEMCNT
         WHERE ITEM_CD = '${unmarked%|*}' AND IFNULL(DETAIL_NO, 0) = ${unmarked#*|}")
[ "$row" = "null|null" ] || fail "the unmarked line $unmarked was converted: $row"
mapfile -t records < <(q "SELECT ITEM_CD || '|' || IFNULL(DETAIL_NO, 0), UPDATE_DATE, TAX_ST, TAX_END,
                                 GOODS_HASU_FLG, GOODS_HASU_ICHI, GADD_HASU_FLG, GADD_HASU_ICHI
                          FROM MITEMCNT ORDER BY ITEM_CD, DETAIL_NO")
converted=0
for record in "${records[@]}"; do
  IFS='|' read -r item detail date rest <<<"$record"
  [ "$item|$detail" = "$unmarked" ] && continue
  [ "$date" = "$today_before" ] || [ "$date" = "$today_after" ] ||
    fail "line $item|$detail has the conversion date '$date', not $today_after"
  [ "$rest" = "8|10|2|1|3|1" ] ||
    fail "line $item|$detail recorded rates and rounding '$rest', not 8|10|2|1|3|1"
  converted=$((converted + 1))
done
[ "$converted" -eq $((${#lines[@]} - 1)) ] || fail "$converted lines converted, not $((${#lines[@]} - 1))"
say "$converted lines converted on $today_after, line $unmarked left as it was"

# Prices: 8 % included to 10 % included, the tax of each step cut to whole yen; goods prices
# rounded down to whole tens, add-on prices rounded half up to whole tens; prices under ten kept.
# Rows of the unmarked category, of categories outside the work list, and stock rows outside the
# statements' reach keep their prices.
# shellcheck disable=SC2016 # an awk program
checker='
function floor(x) { return (x == int(x) || x > 0) ? int(x) : int(x) - 1 }
function converted(p,   net) { net = p - floor(p * 8 / 108); return net + floor(net * 10 / 100) }
function goods(p,   c) { c = converted(p); return c - 10 < 0 ? c : floor(c / 10) * 10 }
function addon(p,   c) { c = converted(p); return c - 10 < 0 ? c : floor(c / 10 + 0.5) * 10 }
BEGIN { FS = "|" }
{
  n = (NF - 2) / 2
  for (i = 1; i <= n; i++) {
    before = $(2 + i); after = $(2 + n + i)
    if (before == "") { want = "" }
    else if ($2 == 0) { want = before + 0 }
    else if (i <= 3) { want = goods(before) }
    else { want = addon(before) }
    if ((want == "" && after != "") || (want != "" && (after == "" || after + 0 != want))) {
      printf "%s column %d: %s became %s, expected %s\n", $1, i, before, after, want
      bad++
    }
  }
  rows++; if ($2) changed++
}
END {
  printf "%d rows, %d to convert, %d wrong\n", rows, changed, bad
  exit (bad > 0 || changed == 0)
}'
in_run="NOT (a.DAI_BUNRUI_CD = '${unmarked%|*}' AND IFNULL(a.CHU_BUNRUI_CD, 0) = ${unmarked#*|})
        AND EXISTS (SELECT 1 FROM MITEMCNT m WHERE m.ITEM_CD = a.DAI_BUNRUI_CD
                    AND IFNULL(m.DETAIL_NO, 0) = IFNULL(a.CHU_BUNRUI_CD, 0))"
# Each row is compared with itself before the run (an update keeps the row's rowid).
check_table() {
  local table=$1 scope=$2 columns=$3 result
  result=$(q "ATTACH '$work/before.db' AS old;
    SELECT a.rowid, CASE WHEN $in_run AND $scope THEN 1 ELSE 0 END,
           $(sed -E 's/([A-Z0-9_]+)/b.\1/g' <<<"$columns"), $(sed -E 's/([A-Z0-9_]+)/a.\1/g' <<<"$columns")
    FROM main.$table a JOIN old.$table b ON b.rowid = a.rowid" | awk "$checker") ||
    fail "$table: $result"
  [ "$(q "SELECT COUNT(*) FROM $table")" -eq "$(sqlite3 "$work/before.db" "SELECT COUNT(*) FROM $table")" ] ||
    fail "$table has a different number of rows after the run"
  say "$table: $result"
}
goods="HYOJYUN_PRC, KOURI_PRC, OROSI_PRC"
check_table MGOODS "1" "$goods, H_ADD1_PRC, K_ADD1_PRC, O_ADD1_PRC, H_ADD2_PRC, K_ADD2_PRC, O_ADD2_PRC"
check_table IZAIKO "a.ZAIKO_QTY > 0" "$goods"
check_table IIODATA "a.IO_YM >= $(q "SELECT SYS_YM1 FROM GDATECTL")" "$goods"

# One price worked out in full, for the record.
known=$(q "ATTACH '$work/before.db' AS old;
  SELECT a.JAN_CD, b.KOURI_PRC, a.KOURI_PRC FROM main.MGOODS a JOIN old.MGOODS b USING (JAN_CD)
  WHERE a.DAI_BUNRUI_CD = '${lines[0]%|*}' AND IFNULL(a.CHU_BUNRUI_CD, 0) = ${lines[0]#*|}
    AND b.KOURI_PRC >= 1000 AND CAST(b.KOURI_PRC AS INTEGER) % 108 <> 0 ORDER BY a.JAN_CD LIMIT 1")
[ -n "$known" ] || fail "no goods of ${lines[0]} with a price of 1000 or more and not a multiple of 108"
IFS='|' read -r jan old new <<<"$known"
old=${old%.0} new=${new%.0}
[[ "$old" =~ ^[0-9]+$ && "$new" =~ ^[0-9]+$ ]] || fail "goods $jan: prices $old and $new are not whole yen"
net=$((old - old * 8 / 108))
expected=$(((net + net * 10 / 100) / 10 * 10))
[ "$new" = "$expected" ] || fail "goods $jan: $old became $new, not $expected"
say "goods $jan: $old - $((old * 8 / 108)) = $net, + $((net * 10 / 100)) = $((net + net * 10 / 100))," \
  "cut to $expected"
# --- A machine without any data folder: the program says why, and ends when answered. --------
empty="$work/nothing-installed"
mkdir -p "$empty/config" "$empty/drives"
env QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$empty/config" \
  TMCS_DRIVE_ROOT="$empty/drives" "$program" >"$work/program.log" 2>&1 &
program_pid=$!
form=
wait_box 60 "the message of a start without data folders"
import -window root "$out/real-window-no-data-folder.png"
say "start without data folders: $out/real-window-no-data-folder.png"
focus_window "$box"
xdotool key Return
wait_for 30 "the program to end after the message" program_ended
status=0
wait "$program_pid" || status=$?
program_pid=
[ "$status" -eq 0 ] || fail "the program without data folders ended with status $status"
say "program without data folders ended with status 0 after its message"

say "PASS"
