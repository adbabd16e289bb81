#!/usr/bin/env bash
# The installer as a user meets it, silently, under Wine in a prefix of its own: install for
# the current user, the program run from the installed folder (writing its log there), an
# upgrade over the running copy (closed, replaced, started again, the user's files kept), an
# upgrade refused by a copy that does not close, and an uninstall through the entry's
# QuietUninstallString that leaves nothing behind once it returns.
# Usage: install_flow.sh <folder of TorvekQuindle-*-setup.exe> <the built TorvekQuindle.exe>
set -uo pipefail
setup=$(realpath "$1"/TorvekQuindle-*-setup.exe)
[ -f "$setup" ] || { echo "no installer in $1: make dist"; exit 1; }
built=$(realpath "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)
export WINEPREFIX=$root/build/wineprefix-install
rm -rf "$WINEPREFIX"
source "$root/scripts/wine-env.sh"
# No desktop entries on the Linux side for the shortcuts.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
trap 'tq_wine_cleanup; rm -rf "$WINEPREFIX"' EXIT

failures=0
check() {  # check <what> <command...>
    local what=$1
    shift
    if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
not() { ! "$@"; }
key_absent() { ! wine reg query "$1" >/dev/null 2>&1; }
unix() { winepath -u "$1" 2>/dev/null; }
reg_value() {  # reg_value <key> <name>: the data, empty when missing (reg speaks GBK here)
    wine reg query "$1" /v "$2" 2>/dev/null | iconv -f GBK -t UTF-8 | tr -d '\r' |
        sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
program_pids() { pgrep -f 'Programs[/\\]TorvekQuindle[/\\]TorvekQuindle.exe'; }
wait_until() {  # wait_until <seconds> <command...>
    local limit=$(($(date +%s) + $1))
    shift
    until "$@"; do [ "$(date +%s)" -ge $limit ] && return 1; sleep 0.2; done
}
logs_are() { [ "$(ls "$dir/Log" 2>/dev/null | wc -l)" -eq "$1" ]; }

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
    [UninstallString]="\"$win_dir\\uninstall.exe\" /CurrentUser _?=$win_dir"
    [QuietUninstallString]="\"$win_dir\\uninstall.exe\" /S /CurrentUser _?=$win_dir"
    [NoModify]=0x1 [NoRepair]=0x1
)
for name in "${!expected[@]}"; do
    check "uninstall entry $name" [ "$(reg_value "$uninstall_key" "$name")" = "${expected[$name]}" ]
done
check "uninstall entry EstimatedSize" [ "$(($(reg_value "$uninstall_key" EstimatedSize)))" -gt 1000 ]
check "no entry for all users" key_absent "${uninstall_key/HKCU/HKLM}"

# --- Run from the installed folder, then upgrade over the running copy -----------------------
settings=$'[debug]\r\nmode=1\r\n[ui]\r\nwintitle=kept\r\n'
printf '%s' "$settings" >"$dir/setting.ini"
cp "$dir/setting.ini" "$WINEPREFIX/setting.ini"
printf 'picture' >"$dir/background.pic"
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
quiet=$(reg_value "$uninstall_key" QuietUninstallString)
uninstaller=$(sed 's/^"\([^"]*\)".*/\1/' <<<"$quiet")
read -r -a arguments <<<"$(sed 's/^"[^"]*" //' <<<"$quiet")"
wine "$uninstaller" "${arguments[@]}"
check "the uninstaller ends with 0" [ $? -eq 0 ]
check "the running copy has ended" [ -z "$(program_pids)" ]
check "the folder is gone" [ ! -e "$dir" ]
check "the shortcut is gone" [ ! -e "$lnk" ]
check "the uninstall entry is gone" key_absent "$uninstall_key"
check "the user's Run value is gone" [ -z "$(reg_value "HKCU\\$run_key" Countdown)" ]
check "the machine's Run value is gone" [ -z "$(reg_value "HKLM\\$run_key" Countdown)" ]

# --- For all users on request, and the portable zip ------------------------------------------
wine "$setup" /S /AllUsers
program_files=$(wine cmd /c echo %ProgramFiles% 2>/dev/null | tr -d '\r')
check "installed for all users into Program Files" cmp -s "$(unix "$program_files\\TorvekQuindle\\TorvekQuindle.exe")" "$built"
all_users_key=${uninstall_key/HKCU/HKLM}
quiet=$(reg_value "$all_users_key" QuietUninstallString)
check "its entry under HKLM names its mode" [ "$quiet" = "\"$program_files\\TorvekQuindle\\uninstall.exe\" /S /AllUsers _?=$program_files\\TorvekQuindle" ]
# Opened by hand, without the entry's mode, the uninstaller finds the entry naming its folder.
# NSIS takes _?= only unquoted at the end of its command line (else it runs a copy of itself
# from %TEMP% and returns at once): the folder's blanks go in as separate words.
read -r -a by_hand <<<"/S _?=$program_files\\TorvekQuindle"
wine "$program_files\\TorvekQuindle\\uninstall.exe" "${by_hand[@]}"
check "uninstalled by hand: the entry is gone" key_absent "$all_users_key"
check "uninstalled by hand: the folder is gone" [ ! -e "$(unix "$program_files\\TorvekQuindle")" ]
check "the zip holds the same program in its one folder" python3 -c "import sys, zipfile; z = sys.argv[1]; sys.exit(zipfile.ZipFile(z).read(z.rsplit('/', 1)[1][:-len('-win32.zip')] + '/TorvekQuindle.exe') != open(sys.argv[2], 'rb').read())" "$(dirname "$setup")"/TorvekQuindle-*-win32.zip "$built"

echo "$failures failed"
[ $failures -eq 0 ]
