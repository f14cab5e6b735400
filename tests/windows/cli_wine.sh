#!/usr/bin/env bash
# zk405-cli.exe under Wine against the simulated module on a COM port: reads the module's name, then
# programs all four settings with verification (a Polish name given as UTF-8), and checks the exit
# statuses, the JSON report, the commands the module received (Windows-1250 on the line) and TxRx.log;
# then a provisioning station programs a COM port that appears while it waits, and records it.
#
# Usage: cli_wine.sh zk405-cli.exe ZK405-SIM [WINE]
# Wine's prefix is $WINEPREFIX as scripts/windows/wine-env.sh set it up (test-windows.sh does).
set -uo pipefail

PROGRAM=$(realpath "$1")
SIM=$(realpath "$2")
[[ $# -ge 3 ]] && export WINE="$3"
SCRIPTS=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts/windows" && pwd)
# shellcheck source=../../scripts/windows/wine-env.sh
ZK405_WINE_FUNCTIONS_ONLY=1 source "$SCRIPTS/wine-env.sh" "" || exit 1
# shellcheck source=../support/harness.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/harness.sh"

COM=43
STATION_COM=44
harness_work zk405-cli-wine
STATION_PID=""
exit_steps() {
    harness_kill "$STATION_PID"
    wait 2>/dev/null
    zk405_wine_unlink_com "$COM"
    zk405_wine_unlink_com "$STATION_COM"
}
failure_details() {
    for f in out.txt err.txt transcript.txt station.txt station.err ledger.csv; do
        [[ -s "$WORK/$f" ]] && sed "s/^/  $f: /" "$WORK/$f"
    done
}

cd "$WORK" || exit 1
harness_start_sim "$SIM" --name "Kaldor" --reply-delay-ms 20 --transcript "$WORK/transcript.txt" ||
    fail "the simulator did not start: $(cat sim.err)"
zk405_wine_link_com "$COM" "$SIM_PTY"

# The port list describes every COM port Windows (or Wine) has, with or without a device entry.
"$WINE" "$PROGRAM" list --json >out.txt 2>err.txt
status=$?
[[ $status == 0 ]] || fail "list: exit status $status"
grep -q "\"port\":\"com$COM\"" out.txt || fail "list: com$COM is not listed"
line=$(grep "\"port\":\"com$COM\"" out.txt)
[[ "$line" =~ \"description\":\"[^\"] && "$line" =~ \"kind\":\"(onboard|usb|bluetooth|pty|other)\" ]] ||
    fail "list: com$COM has no kind or description"
"$WINE" "$PROGRAM" list --all >out.txt 2>err.txt
status=$?
[[ $status == 0 ]] || fail "list --all: exit status $status"
grep -q "^com$COM	" out.txt || fail "list --all: com$COM is not listed"

"$WINE" "$PROGRAM" name "com$COM" >out.txt 2>err.txt
status=$?
[[ $status == 0 ]] || fail "name: exit status $status"
[[ "$(tr -d '\r' <out.txt)" == "com$COM	Kaldor" ]] || fail "name: unexpected output"

"$WINE" "$PROGRAM" program "com$COM" --name "Biuro Łódź {n}" --pin 4321 --flow RTS/CTS --auth always \
    --json >out.txt 2>err.txt
status=$?
[[ $status == 0 ]] || fail "program: exit status $status"
grep -q '"status":0' out.txt || fail "program: no confirmed report"
grep -q '"reply":"Biuro Łódź 1"' out.txt || fail "program: the name was not read back"
grep -q "com$COM: name read back \"Biuro Łódź 1\" OK" err.txt || fail "program: no progress line for the read back"

expected=$'AT+BNAME?\nAT+BNAME=Biuro \\xA3\\xF3d\\x9F 1\nAT+BPIN=4321\nAT+BFLOW=2\nAT+BSEC=1\nAT+BNAME?'
[[ "$(cut -d' ' -f2- transcript.txt)" == "$expected" ]] || fail "the module received other commands"
# The log of the second connection: its header, then the dump; the name's Polish letters show as dots.
[[ "$(head -c 11 TxRx.log)" == $'\nWritten:\n4' ]] || fail "TxRx.log does not start like the windows' log"
grep -q '^41 54 2B 42 4E 41 4D 45 3D 42 69 75 72 6F 20 A3    AT+BNAME=Biuro .$' TxRx.log ||
    fail "TxRx.log lacks the name command's first line"

"$WINE" "$PROGRAM" program "com$COM" --pin "PIN z ✓" >out.txt 2>err.txt
status=$?
[[ $status == 1 ]] || fail "bad input: exit status $status"
"$WINE" "$PROGRAM" program com127 --pin 1 >out.txt 2>err.txt
status=$?
[[ $status == 2 ]] || fail "missing port: exit status $status"
grep -q "missing" err.txt || fail "missing port: no reason given"
# The station leaves the COM ports there at its start alone and takes the one that appears.
zk405_wine_unlink_com "$STATION_COM"
"$WINE" "$PROGRAM" station --once 1 --name "Stanowisko {n}" --pin 9876 --ledger ledger.csv >station.txt \
    2>station.err &
STATION_PID=$!
# Its waiting is progress, on stderr; its results are on stdout.
for _ in $(seq 400); do
    [[ -s station.err ]] && break
    sleep 0.05
done
grep -q "Waiting for modules" station.err || fail "station: not waiting for modules"
zk405_wine_link_com "$STATION_COM" "$SIM_PTY"
for _ in $(seq 300); do
    kill -0 "$STATION_PID" 2>/dev/null || break
    sleep 0.1
done
wait "$STATION_PID"
status=$?
STATION_PID=""
[[ $status == 0 ]] || fail "station: exit status $status"
grep -q "programmed  com$STATION_COM  #1 \"Stanowisko 1\"" station.txt || fail "station: no result line"
grep -q ",programmed,1,com$STATION_COM,.*,Stanowisko 1,name;pin,programmed,0," ledger.csv ||
    fail "station: no record of the module"
# As a token of its own: a duration in the ledger may hold the same digits.
grep -qE '(^|[^[:alnum:]])9876([^[:alnum:]]|$)' ledger.csv && fail "station: the PIN is in the ledger"
[[ "$(tail -n2 transcript.txt | cut -d' ' -f2-)" == $'AT+BPIN=9876\nAT+BNAME?' ]] ||
    fail "station: the module received other commands"
echo "zk405-cli.exe under Wine: ports listed, name read, four settings programmed and verified, exit statuses 0, 1, 2;" \
    "a COM port that appeared programmed by the station and recorded"
