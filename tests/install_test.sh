#!/usr/bin/env bash
# The installed palette, started from another folder, finds the stand-in
# host in its own prefix: `cmake --install` into a fresh prefix, the host's
# scripts executable there, and the palette names the installed version
# script as the one it runs.
#   install_test.sh CMAKE BUILD_FOLDER
set -euo pipefail
cmake=$1 build=$2
work=$(realpath "$(mktemp -d)")
palette=""
cleanup() {
  if [ -n "$palette" ]; then kill -KILL "$palette" 2>/dev/null && wait "$palette" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "install_test: $*" >&2; exit 1; }

prefix="$work/prefix with a space"
"$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; fail "cmake --install failed"; }
[ -x "$prefix/bin/tessaline" ] || fail "no $prefix/bin/tessaline"
[ -x "$prefix/libexec/tessaline/tessaline-keeper" ] || fail "no $prefix/libexec/tessaline/tessaline-keeper"
host="$prefix/share/tessaline/resources"
for script in appleevent scripts/168 scripts/169 scripts/170 scripts/171 scripts/172; do
  [ -f "$host/$script" ] && [ -x "$host/$script" ] || fail "$host/$script is not an executable file"
done

# Made unrunnable, the version script that the palette runs first is named
# on its standard error, with the folder it was looked for in.
chmod a-x "$host/scripts/168"
mkdir -p "$work/elsewhere" "$work/home" "$work/config" "$work/runtime"
chmod 700 "$work/runtime"
(cd "$work/elsewhere" &&
  exec env -u TESSALINE_RESOURCES HOME="$work/home" XDG_CONFIG_HOME="$work/config" \
    XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen \
    "$prefix/bin/tessaline" >"$work/out" 2>"$work/err") &
palette=$!
expected="tessaline: host script $host/scripts/168: not executable"
# The palette's start-up under load is not timed: the wait only stops a hung run.
for _ in $(seq 1200); do
  grep -qF "tessaline: host script " "$work/err" && break
  kill -0 "$palette" 2>/dev/null || break
  sleep 0.1
done
grep -qxF "$expected" "$work/err" ||
  fail "the palette did not name $host/scripts/168; its standard error:"$'\n'"$(cat "$work/err")"
kill -TERM "$palette"
status=0
wait "$palette" || status=$?
palette=""
[ "$status" -eq 0 ] || fail "the palette ended with status $status on SIGTERM; its standard error:"$'\n'"$(cat "$work/err")"
