#!/bin/bash
# Sets the machine up, builds everything and runs the launcher demo under Wine: a demo
# install; a first launch that starts the client; a second for the same OEM id and user
# that forwards its JSON request to the running client and starts nothing; a third that
# forwards a "-msg" text; a launch for another user that starts a second client. It prints
# what the clients were started with and what they received, then stops them.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/tools/common.sh"

prepare_to_run

# Not build/demo: that is the build folder of demo/VeskGame, which the install would wipe.
demo_root="$build_dir/demo-install"
version="2.0.1"
oem_id="7001"
user_id="42"
other_user_id="43"
client_mutex="Global\\Veskgame-$oem_id-$user_id"
channel="Veskgame-$oem_id-$user_id"
starts="$demo_root/$version/VeskGame-starts.txt"
requests="$demo_root/$version/VeskGame-requests.txt"
start_trace="launcher/启动Vesk游戏大厅成功"

lay_install() {
  rm -rf "$demo_root"
  mkdir -p "$demo_root/$version"
  cp "$build_dir/bin/Launcher.exe" "$demo_root/"
  cp "$build_dir/bin/VeskGame.exe" "$demo_root/$version/"
  printf '[Veskgame]\r\nNewVersion=%s\r\n' "$version" >"$demo_root/Version.ini"
}

count_records() {
  if [[ -f $2 ]]; then grep -c "^$1=" "$2"; else echo 0; fi
}

# The value of field $1 in the start record of client $2 (1 = the first started).
start_field() {
  awk -v RS= -v want="$2" -v field="$1" 'NR == want {
    n = split($0, lines, "\n")
    for (i = 1; i <= n; ++i) if (index(lines[i], field "=") == 1) print substr(lines[i], length(field) + 2)
  }' "$starts"
}

# Runs the launcher with Wine's exception channel on, which shows what the launcher writes
# to the debugger output. Output goes to a file: the client the launcher starts inherits
# the stream and keeps it open while it runs. Sets run_exit and run_traces.
run_launcher() {
  local log="$demo_root/run-$1.log"
  shift
  echo "  command:         Launcher.exe $*"
  set +e
  (cd "$demo_root" && WINEDEBUG=-all,warn+seh "$repo/tools/wine-run.sh" Launcher.exe "$@" 2>"$log")
  run_exit=$?
  set -e
  run_traces="$(grep -a 'warn:seh:OutputDebugStringA' "$log" | sed 's/.*OutputDebugStringA //' || true)"
  echo "  exit code:       $run_exit"
  if [[ -z $run_traces ]]; then
    echo "  debugger trace:  none (the launcher traces only a client start)"
  else
    echo "  debugger trace:  $run_traces"
  fi
}

# Waits until file $2 holds at least $3 records with field $1.
wait_for_records() {
  local tries
  for tries in $(seq 1 100); do
    [[ $(count_records "$1" "$2") -ge $3 ]] && return 0
    sleep 0.2
  done
  return 1
}

fail() {
  echo "demo: $*" >&2
  exit 1
}

# Prints request $1 (1 = the first received) as the client recorded it.
show_request() {
  awk -v RS= -v want="$1" 'NR == want {
    n = split($0, lines, "\n")
    for (i = 1; i <= n; ++i) { p = index(lines[i], "="); f[substr(lines[i], 1, p - 1)] = substr(lines[i], p + 1) }
    printf "  client received: %s bytes from communication id %s (the size counts the NUL)\n", f["size"], f["source"]
    if ("text" in f) printf "    text:          %s\n", f["text"]
    else printf "    message_id:    %s\n    content:       %s\n", f["message_id"], f["content"]
  }' "$requests"
}

stop_client() {
  "$repo/tools/wine-run.sh" "$demo_root/$version/VeskGame.exe" -scmd - - - -oemid "$oem_id" \
    -uid "$1" -stop 1 2>/dev/null
}

lay_install
echo
echo "== Demo install in $demo_root"
echo "  Version.ini      NewVersion=$version"
echo "  Launcher.exe     beside Version.ini"
echo "  $version/VeskGame.exe  the demo client"

echo
echo "== Run 1: the first launch for OEM id $oem_id and user $user_id starts the client"
run_launcher 1 -scmd 123 'web%2Fhall' 0 -uid "$user_id" -oemid "$oem_id" -cookie 'a:1&b:2'
wait_for_records process_id "$starts" 1 || fail "the client did not start"
echo "  path taken:      no client held $client_mutex, so the launcher started one"
echo "  client process:  $(start_field process_id 1), serving the channel $channel: $(start_field channel 1)"
echo "  argument line:   [$(start_field command_line 1)]"
echo "  working folder:  $(start_field working_directory 1)"
echo "  (Wine hands debuggers the trace in the ANSI code page; the text written is \"$start_trace\".)"

echo
echo "== Run 2: a second launch for the same OEM id and user forwards its request as JSON"
run_launcher 2 -scmd 456 lobby 1 -uid "$user_id" -oemid "$oem_id"
wait_for_records source "$requests" 1 || fail "the client received no request"
[[ $(count_records process_id "$starts") -eq 1 && -z $run_traces ]] ||
  fail "the second run started another client"
echo "  path taken:      $client_mutex was held, so the launcher connected to the channel"
echo "                   $channel, allowed the client to take the foreground, sent one"
echo "                   request and started nothing"
show_request 1
echo "  foreground:      on receiving it the client called SetForegroundWindow for its window"

echo
echo "== Run 3: a launch with -msg forwards its text instead"
run_launcher 3 -scmd 123 web 0 -uid "$user_id" -oemid "$oem_id" -msg '你好，游戏大厅'
wait_for_records source "$requests" 2 || fail "the client received no text"
[[ $(count_records process_id "$starts") -eq 1 ]] || fail "the third run started another client"
show_request 2

echo
echo "== Run 4: a launch for another user ($other_user_id) finds no client of its own and starts one"
run_launcher 4 -scmd 123 web 0 -uid "$other_user_id" -oemid "$oem_id"
wait_for_records process_id "$starts" 2 || fail "the second client did not start"
echo "  client process:  $(start_field process_id 2), serving Veskgame-$oem_id-$other_user_id: $(start_field channel 2)"
echo "  argument line:   [$(start_field command_line 2)]"

echo
echo "== Stopping the clients"
for user in "$user_id" "$other_user_id"; do
  stop_client "$user" || fail "the client of user $user did not end when asked"
  echo "  the client of user $user ended and gave up Global\\Veskgame-$oem_id-$user"
done
