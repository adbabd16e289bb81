#!/usr/bin/env bash
# The installer as a user meets it, silently, under Wine in a prefix of its own: install for
# the current user, the program run from the installed folder (writing its log there), an
# upgrade over the running copy (closed, replaced, started again, the user's files kept), an
# upgrade refused by a copy that does not close, and an uninstall through the entry's
# QuietUninstallString that leaves nothing behind. Then a folder of the user's own (/D=),
# a move given up over a lasting lock, a move to another folder, an orphaned copy's
# uninstaller, and for all users the hand-over between the unelevated parent and its elevated
# child (through the installer's switches: under Wine every process is an administrator).
# Usage: install_flow.sh <folder of TorvekQuindle-*-setup.exe> <the built TorvekQuindle.exe>
set -uo pipefail
setup=$(realpath "$1"/TorvekQuindle-*-setup.exe)
[ -f "$setup" ] || { echo "no installer in $1: make dist"; exit 1; }
built=$(realpath "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)
export WINEPREFIX=$root/build/wineprefix-install
prefix_pids() {  # prefix_pids <pattern>: the processes of this test's prefix whose command matches
    local pid
    for pid in $(pgrep -f "$1"); do
        grep -qzx "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null && echo "$pid"
    done
}
# The copies of the program a run leaves (the all-users part ends with one running) go with it:
# a copy left from an earlier run would answer for this one.
end_programs() { kill -9 $(prefix_pids '^[A-Za-z]:.*[\]TorvekQuindle[.]exe') 2>/dev/null; }
end_programs
rm -rf "$WINEPREFIX"
source "$root/scripts/wine-env.sh"
# No desktop entries on the Linux side for the shortcuts.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
trap 'end_programs; tq_wine_cleanup; rm -rf "$WINEPREFIX"' EXIT

source "$root/tests/dist/checks.sh"
key_absent() { ! wine reg query "$1" >/dev/null 2>&1; }
unix() { winepath -u "$1" 2>/dev/null; }
reg_value() {  # reg_value <key> <name>: the data, empty when missing (reg speaks GBK here)
    wine reg query "$1" /v "$2" 2>/dev/null | iconv -f GBK -t UTF-8 | tr -d '\r' |
        sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
program_pids() { prefix_pids "${1:-Programs[/\\]TorvekQuindle}[/\\]TorvekQuindle.exe"; }
wait_until() {  # wait_until <seconds> <command...>
    local limit=$(($(date +%s) + $1))
    shift
    until "$@"; do [ "$(date +%s)" -ge $limit ] && return 1; sleep 0.2; done
}
logs_are() { [ "$(ls "${2:-$dir}/Log" 2>/dev/null | wc -l)" -eq "$1" ]; }
run_program() {  # run_program <folder>: starts the program there (debug log on) and waits for it
    local logs
    logs=$(($(ls "$1/Log" 2>/dev/null | wc -l) + 1))
    [ -f "$1/setting.ini" ] || printf '%s' "$settings" >"$1/setting.ini"
    (cd "$1" && wine "$1/TorvekQuindle.exe" >/dev/null 2>&1 &)
    wait_until 20 logs_are "$logs" "$1"
}
# A closed copy's Linux process may outlive its end under Wine for a moment: "not running" is
# waited for (a copy that was started again stays, and fails it).
program_runs() { [ -n "$(program_pids "$@")" ]; }
words() { read -r -a arguments <<<"$*"; }  # NSIS takes /D= and _?= unquoted, blanks and all
# Runs the uninstaller as an entry's QuietUninstallString says. NSIS runs a copy of it from
# %TEMP% and returns at once: the uninstall is done when the executable is gone.
quiet_uninstall() {  # quiet_uninstall <uninstall key>
    local quiet
    quiet=$(reg_value "$1" QuietUninstallString)
    read -r -a arguments <<<"$(sed 's/^"[^"]*" //' <<<"$quiet")"
    wine "$(sed 's/^"\([^"]*\)".*/\1/' <<<"$quiet")" "${arguments[@]}"
}

local_app_data=$(wine cmd /c echo %LOCALAPPDATA% 2>/dev/null | tr -d '\r')
win_dir="$local_app_data\\Programs\\TorvekQuindle"
dir=$(unix "$win_dir")
exe="$dir/TorvekQuindle.exe"
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\TorvekQuindle'
run_key='Software\Microsoft\Windows\CurrentVersion\Run'

# --- Install for the current user ----------------------------------------------------------
wine "$setup" /S
check "silent install ends with 0" [ $? -eq 0 ]
check "the installed program is the built one" cmp -s "$exe" "$built"
for f in uninstall.exe LICENSE.txt THIRD-PARTY-NOTICES.txt; do
    check "$f installed" [ -f "$dir/$f" ]
done
lnk=$(unix "$(wine cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')\\Microsoft\\Windows\\Start Menu\\Programs\\TorvekQuindle.lnk")
check "the shortcut's target is the installed program" \
    grep -aqiF "$win_dir\\TorvekQuindle.exe" "$lnk"
declare -A expected=(
    [DisplayName]=TorvekQuindle [DisplayVersion]=2.0 [Publisher]="Torvek 倒计时小组"
    [DisplayIcon]="\"$win_dir\\TorvekQuindle.exe\",0" [InstallLocation]="$win_dir"
    [UninstallString]="\"$win_dir\\uninstall.exe\" /CurrentUser"
    [QuietUninstallString]="\"$win_dir\\uninstall.exe\" /S /CurrentUser"
    [NoModify]=0x1 [NoRepair]=0x1
)
for name in "${!expected[@]}"; do
    check "uninstall entry $name" [ "$(reg_value "$uninstall_key" "$name")" = "${expected[$name]}" ]
done
estimated=$(($(reg_value "$uninstall_key" EstimatedSize)))
check "uninstall entry EstimatedSize ($estimated KB)" [ "$estimated" -gt 1000 ]
check "no entry for all users" key_absent "${uninstall_key/HKCU/HKLM}"

# --- Run from the installed folder, then upgrade over the running copy -----------------------
settings=$'[debug]\r\nmode=1\r\n[ui]\r\nwintitle=kept\r\n'
printf '%s' "$settings" >"$dir/setting.ini"
cp "$dir/setting.ini" "$WINEPREFIX/setting.ini"
printf 'picture' >"$dir/background.pic"
head -c 3000000 /dev/zero >"$dir/照片.bmp"  # the user's, not the program's size
printf 'stale' >>"$exe"  # the old copy differs from what the upgrade brings
(cd "$dir" && wine "$exe" >/dev/null 2>&1 &)
check "the installed program runs and writes its log beside itself" wait_until 20 logs_are 1
old_pid=$(program_pids)

wine "$setup" /S
check "upgrade over the running copy ends with 0" [ $? -eq 0 ]
check "the old copy has ended" not kill -0 "$old_pid" 2>/dev/null
check "the executable was replaced" cmp -s "$exe" "$built"
check "setting.ini kept" cmp -s "$dir/setting.ini" "$WINEPREFIX/setting.ini"
check "background.pic kept" [ "$(cat "$dir/background.pic")" = picture ]
check "the new copy was started and logs beside the old log" wait_until 20 logs_are 2
check "EstimatedSize counts the program's files only" [ "$(($(reg_value "$uninstall_key" EstimatedSize)))" -eq "$estimated" ]
rm "$dir/照片.bmp"

# --- A copy that does not close: the upgrade fails and changes nothing ------------------------
new_pid=$(program_pids)
printf 'stale' >>"$exe"
kill -STOP "$new_pid"
wine "$setup" /S
status=$?
kill -CONT "$new_pid"
check "a copy that does not close fails the silent install ($status)" [ $status -ne 0 ]
check "and leaves the old executable in place" [ "$(tail -c 5 "$exe")" = stale ]
check "and the copy running" kill -0 "$new_pid"

# --- Uninstall as the entry says, with the program running and starting with Windows --------
wine reg add "HKCU\\$run_key" /v Countdown /d "\"$win_dir\\TorvekQuindle.exe\"" /f >/dev/null 2>&1
wine reg add "HKLM\\$run_key" /v Countdown /d "$win_dir\\TorvekQuindle.exe" /f >/dev/null 2>&1
quiet_uninstall "$uninstall_key"
check "the uninstaller ends with 0" [ $? -eq 0 ]
check "the folder, uninstall.exe with it, is gone" wait_until 20 [ ! -e "$dir" ]
check "the running copy has ended" [ -z "$(program_pids)" ]
check "the shortcut is gone" [ ! -e "$lnk" ]
check "the uninstall entry is gone" key_absent "$uninstall_key"
check "the user's Run value is gone" [ -z "$(reg_value "HKCU\\$run_key" Countdown)" ]
check "the machine's Run value is gone" [ -z "$(reg_value "HKLM\\$run_key" Countdown)" ]

# --- A folder of the user's own, a move to another folder, an orphaned copy ----------------
tools=$(unix 'C:\Tools')
mkdir -p "$tools/Log"
printf 'mine' >"$tools/notes.txt"
# Log files by name: 0 for the names the program gives its logs (month.day-hour_minute_second).
declare -A log_kept=(
    [12.1-9_5_3.log]=0 [1.12-23_0_7.log]=0 [12.31-23_59_59.LOG]=0 [2026-12-01.log]=1
    [12.1-9_5_300.log]=1 [x12.1-9_5_3.log]=1 [12.1-9_5.log]=1 [12.1-9_5_3_1.log]=1
    [012.1-9_5_3.log]=1 [12.1-9_5_3.log.log]=1 [a.b-c_d_e.log]=1
)
for name in "${!log_kept[@]}"; do printf 'log' >"$tools/Log/$name"; done
wine "$setup" /S /D=C:\\
check "a drive root is refused (exit code 2)" [ $? -eq 2 ]
check "and nothing is installed there" [ ! -e "$(unix 'C:\TorvekQuindle.exe')" ]
check "nor registered" key_absent "$uninstall_key"
wine "$setup" /S /D=C:\\Tools
check "/D= installs into the user's folder" cmp -s "$tools/TorvekQuindle.exe" "$built"
check "the entry names the user's folder" [ "$(reg_value "$uninstall_key" InstallLocation)" = 'C:\Tools' ]
printf '%s' "$settings" >"$tools/setting.ini"
# A plain /S upgrades in the install's own folder, and waits while something (a scanner, here
# cmd's input redirection) holds the executable for a moment.
printf 'stale' >>"$tools/TorvekQuindle.exe"
(wine cmd /c 'type nul >C:\lock-taken & ping -n 5 127.0.0.1 >nul <C:\Tools\TorvekQuindle.exe' >/dev/null 2>&1 &)
wait_until 10 [ -e "$WINEPREFIX/drive_c/lock-taken" ]
wine "$setup" /S
check "a plain /S over a briefly locked executable ends with 0" [ $? -eq 0 ]
check "and replaces it in the user's folder" cmp -s "$tools/TorvekQuindle.exe" "$built"
# A move held up by a lock that outlasts the wait gives up: nothing moves, and the copy closed
# for it runs again from its own folder.
run_program "$tools"
(wine cmd /c 'type nul >C:\lock-long & ping -n 20 127.0.0.1 >nul <C:\Tools\TorvekQuindle.exe & del C:\lock-long' >/dev/null 2>&1 &)
wait_until 10 [ -e "$WINEPREFIX/drive_c/lock-long" ]
wine "$setup" /S '/D=C:\Elsewhere'
check "a move held up by a lasting lock ends with 2" [ $? -eq 2 ]
check "and the closed copy runs again from its folder" wait_until 20 program_runs Tools
check "and made no other folder" [ ! -e "$(unix 'C:\Elsewhere')" ]
wait_until 30 [ ! -e "$WINEPREFIX/drive_c/lock-long" ]
wine reg add "HKCU\\$run_key" /v Countdown /d 'C:\Tools\TorvekQuindle.exe' /f >/dev/null 2>&1
moved_win='C:\我的 程序\倒计时'
moved=$(unix "$moved_win")
words /S "/D=$moved_win"
wine "$setup" "${arguments[@]}"
check "a reinstall into another folder (blank, Chinese) ends with 0" [ $? -eq 0 ]
check "the program is in the new folder" cmp -s "$moved/TorvekQuindle.exe" "$built"
check "setting.ini went with it" cmp -s "$moved/setting.ini" "$WINEPREFIX/setting.ini"
check "one entry, naming the new folder" [ "$(reg_value "$uninstall_key" InstallLocation)" = "$moved_win" ]
check "the start-up value follows the program" [ "$(reg_value "HKCU\\$run_key" Countdown)" = "\"$moved_win\\TorvekQuindle.exe\"" ]
for f in TorvekQuindle.exe uninstall.exe LICENSE.txt THIRD-PARTY-NOTICES.txt setting.ini; do
    check "no orphan in the first folder: $f gone" [ ! -e "$tools/$f" ]
done
check "the user's file stays" [ "$(cat "$tools/notes.txt")" = mine ]
for name in "${!log_kept[@]}"; do
    check "Log/$name is ${log_kept[$name]/0/removed}" [ "$([ -e "$tools/Log/$name" ] && echo 1 || echo 0)" = "${log_kept[$name]}" ]
done
# A copy of the folder left behind (no entry names it): its uninstaller removes it, not the
# registered copy.
cp -r "$moved" "$(unix 'C:\旧副本')"
wine 'C:\旧副本\uninstall.exe' /S
check "the orphan's uninstaller removes its folder" wait_until 20 [ ! -e "$(unix 'C:\旧副本')" ]
check "and leaves the registered copy" cmp -s "$moved/setting.ini" "$WINEPREFIX/setting.ini"
check "and its entry" [ "$(reg_value "$uninstall_key" InstallLocation)" = "$moved_win" ]
check "and its start-up value" [ -n "$(reg_value "HKCU\\$run_key" Countdown)" ]
quiet_uninstall "$uninstall_key"
check "the moved copy uninstalls whole" wait_until 20 [ ! -e "$moved" ]
check "leaving the user's folder" [ -f "$tools/notes.txt" -a -f "$tools/Log/2026-12-01.log" ]

# --- For all users: the parent and its elevated child, one copy per machine, the zip ---------
all_users_key=${uninstall_key/HKCU/HKLM}
shared_win='C:\所有 用户\倒计时'
shared=$(unix "$shared_win")
words /S /AllUsers /AsParent "/D=$shared_win"
wine "$setup" "${arguments[@]}"
check "for all users through the elevated child ends with 0" [ $? -eq 0 ]
check "/D= survives the relaunch" cmp -s "$shared/TorvekQuindle.exe" "$built"
expected=([DisplayIcon]="\"$shared_win\\TorvekQuindle.exe\",0" [InstallLocation]="$shared_win"
    [UninstallString]="\"$shared_win\\uninstall.exe\" /AllUsers")
for name in "${!expected[@]}"; do
    check "the entry under HKLM: $name" [ "$(reg_value "$all_users_key" "$name")" = "${expected[$name]}" ]
done
check "the shortcut is the machine's" [ -e "$(unix 'C:\ProgramData\Microsoft\Windows\Start Menu\Programs\TorvekQuindle.lnk')" ]
run_program "$shared"
printf 'stale' >>"$shared/TorvekQuindle.exe"
wine "$setup" /S
check "a plain /S over it ends with 0" [ $? -eq 0 ]
check "and upgrades it in place" cmp -s "$shared/TorvekQuindle.exe" "$built"
check "as all users, with no second entry" key_absent "$uninstall_key"
check "an elevated process with no parent does not start the program" wait_until 10 not program_runs 倒计时
wine "$setup" /S /AllUsers /ElevatedChild
check "a child with nothing to start ends with 0" [ $? -eq 0 ]
run_program "$shared"
wine "$setup" /S /AllUsers /ElevatedChild
check "the child asks its parent to start the program (exit code 64)" [ $? -eq 64 ]
check "and starts nothing itself" wait_until 10 not program_runs 倒计时
run_program "$shared"
wine "$setup" /S /AsParent
check "the parent ends with 0" [ $? -eq 0 ]
check "and starts the program again" wait_until 20 program_runs 倒计时
program_files=$(wine cmd /c echo %ProgramFiles% 2>/dev/null | tr -d '\r')
words /S /AllUsers "/D=$program_files\\TorvekQuindle"
wine "$setup" "${arguments[@]}"
check "moved into Program Files" cmp -s "$(unix "$program_files\\TorvekQuindle\\TorvekQuindle.exe")" "$built"
check "nothing left in the first folder" [ ! -e "$shared" ]
quiet=$(reg_value "$all_users_key" QuietUninstallString)
check "its entry under HKLM names its mode" [ "$quiet" = "\"$program_files\\TorvekQuindle\\uninstall.exe\" /S /AllUsers" ]
# Opened by hand, without the entry's mode, the uninstaller finds the entry naming its folder.
wine "$program_files\\TorvekQuindle\\uninstall.exe" /S
wait_until 20 [ ! -e "$(unix "$program_files\\TorvekQuindle")" ]
check "uninstalled by hand: the entry is gone" key_absent "$all_users_key"
check "uninstalled by hand: the folder is gone" [ ! -e "$(unix "$program_files\\TorvekQuindle")" ]
check "the zip holds the same program in its one folder" python3 -c "import sys, zipfile; z = sys.argv[1]; sys.exit(zipfile.ZipFile(z).read(z.rsplit('/', 1)[1][:-len('-win32.zip')] + '/TorvekQuindle.exe') != open(sys.argv[2], 'rb').read())" "$(dirname "$setup")"/TorvekQuindle-*-win32.zip "$built"

checks_end
