# A demo agent installation with the stand-in management server: the layout
# that scripts/demo records in, and that the package test records in with
# the installed programs. Sourced, not run; the functions set the variables
# named in their comments.
#
#   <agent>/configuration/agent.ini    dbmgmtsrvurl=<the server's address>
#   <agent>/tasks/recording/           Scrivlet's working directory:
#       transName.txt, scrivletIntro.html (and trans.xml while recording)

demo_files_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../demo" && pwd)

# demo_start_server SERVER_PROGRAM STORE_DIR LOG_FILE
# Starts the stand-in server on a free port of 127.0.0.1, storing uploads in
# STORE_DIR. Sets demo_server_pid and demo_server_url ("http://127.0.0.1:PORT/").
# Returns 1, with the server's output on stderr, when it does not start.
demo_start_server() {
  local program=$1 store=$2 log=$3
  mkdir -p "$store"
  "$program" --port 0 --store "$store" >"$log" 2>&1 &
  demo_server_pid=$!
  demo_server_url=
  for _ in $(seq 100); do
    demo_server_url=$(sed -n '1s|^listening on \(http://127\.0\.0\.1:[0-9]*/\)$|\1|p' "$log")
    [[ -n "$demo_server_url" ]] && return 0
    kill -0 "$demo_server_pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "the stand-in server did not start; its output:" >&2
  cat "$log" >&2
  return 1
}

# demo_stop_server: stops the server demo_start_server started, if it runs.
demo_stop_server() {
  if [[ -n "${demo_server_pid:-}" ]] && kill -0 "$demo_server_pid" 2>/dev/null; then
    kill "$demo_server_pid" 2>/dev/null || true
    wait "$demo_server_pid" 2>/dev/null || true
  fi
}

# demo_lay_out AGENT_DIR SERVER_URL
# Lays out AGENT_DIR afresh for the management server at SERVER_URL: a
# trans.xml left by an earlier run that was killed would otherwise be
# continued. Sets demo_workdir (Scrivlet's working directory), demo_uuid and
# demo_transaction_name.
demo_lay_out() {
  local agent=$1 server_url=$2
  demo_workdir="$agent/tasks/recording"
  demo_uuid=$(cat /proc/sys/kernel/random/uuid)
  demo_transaction_name="Demo transaction"
  rm -rf "$agent"
  mkdir -p "$agent/configuration" "$demo_workdir"
  sed "s|@MANAGEMENT_SERVER_URL@|$server_url|g" "$demo_files_dir/agent.ini" \
    >"$agent/configuration/agent.ini"
  sed "s|@DEMO_URL@|${server_url}demo/|g" "$demo_files_dir/scrivletIntro.html" \
    >"$demo_workdir/scrivletIntro.html"
  printf 'transactionName=%s\nuuid=%s\n' "$demo_transaction_name" "$demo_uuid" \
    >"$demo_workdir/transName.txt"
}

# demo_stored_uploads LOG_FILE SKIP
# Prints the folders the server reported as stored after its first SKIP
# uploads, one a line.
demo_stored_uploads() {
  local log=$1 skip=$2
  grep '^stored upload in ' "$log" | tail -n +"$((skip + 1))" | sed 's/^stored upload in //'
}
