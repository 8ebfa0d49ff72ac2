#!/bin/sh
# command_line.sh CASE PLAYER VERSION SOURCE: one check of the player started from a shell.
# Players started here get a runtime folder of their own, so that they meet no other player.
set -u
case_name=$1
player=$2
version=$3
source_dir=$4
bin=$(dirname "$player")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "FAILED: $*"
  echo "--- output:"
  cat "$work/out" "$work/err" 2>/dev/null
  exit 1
}

# A player that shows nothing and closes once its first card is on screen.
headless() {
  env XDG_RUNTIME_DIR="$work" XDG_DATA_HOME="$work/data" QT_QPA_PLATFORM=offscreen CV_STARTUP_TIME=exit timeout 120 "$player" "$@" \
    >"$work/out" 2>"$work/err"
}

case "$case_name" in
version)
  "$player" --version >"$work/out" 2>"$work/err" || fail "--version exits with $?"
  [ "$(cat "$work/out")" = "Corvella Player $version" ] || fail "--version does not name version $version"
  ;;
help)
  "$player" --help >"$work/out" 2>"$work/err" || fail "--help exits with $?"
  grep -q "^Usage: corvella \[STACK\]" "$work/out" || fail "--help shows no usage"
  grep -q "cvstack export" "$work/out" || fail "--help does not name cvstack export"
  ;;
no_display)
  # Nothing at all in the environment: no display, no platform.
  env -i "$player" >"$work/out" 2>"$work/err"
  rc=$?
  [ $rc -eq 1 ] || fail "exit code $rc without a display (1 expected)"
  [ "$(wc -l <"$work/err")" -eq 1 ] || fail "more than one line without a display"
  grep -q "^corvella: no display" "$work/err" || fail "no word about the display"
  grep -q "cvstack export" "$work/err" || fail "cvstack export is not suggested"
  ;;
missing_stack)
  headless "$work/none.stk" || fail "a missing stack ends the run with $?"
  grep -qx "corvella: cannot open $work/none.stk: there is no such file." "$work/err" || fail "the missing stack is not reported"
  grep -q "^startup:" "$work/out" || fail "the home stack was not shown"
  mkdir "$work/folder.stk"
  (cd "$work" && headless folder.stk) || fail "a folder ends the run with $?"
  grep -qx "corvella: cannot open $work/folder.stk: it is a folder, not a stack file." "$work/err" ||
    fail "the folder is not reported"
  ;;
second_start)
  env XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=offscreen "$player" >"$work/first.out" 2>&1 &
  first=$!
  i=0
  while [ ! -S "$work/corvella-CVW32.socket" ]; do
    i=$((i + 1))
    [ $i -le 600 ] || { kill $first; fail "the first player never listened"; }
    sleep 0.1
  done
  env XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=offscreen timeout 60 "$player" "$bin/Home.stk" >"$work/out" 2>"$work/err"
  rc=$?
  env XDG_RUNTIME_DIR="$work" QT_QPA_PLATFORM=offscreen timeout 60 "$player" "$work/none.stk" >"$work/out2" 2>"$work/err2"
  rc2=$?
  kill $first
  wait $first 2>/dev/null
  [ $rc -eq 0 ] || fail "handing a stack over exits with $rc"
  grep -qx "corvella: $bin/Home.stk was handed to the Corvella Player that is already running." "$work/out" ||
    fail "handing over says nothing"
  [ $rc2 -eq 1 ] || fail "a missing stack is not handed over and exits with 1, not $rc2"
  grep -q "there is no such file" "$work/err2" || fail "the missing stack of a second start is not reported"
  ;;
run_script)
  # scripts/run, in a copy of the repository whose build is already done and whose cvstack
  # only tells what it was asked to export (there is no display here).
  mkdir -p "$work/repo/scripts" "$work/repo/build/bin" "$work/elsewhere/sub"
  cp "$source_dir/scripts/run" "$work/repo/scripts/run"
  printf '#!/bin/sh\nexit 0\n' >"$work/repo/scripts/bootstrap"
  printf '#!/bin/sh\nexit 0\n' >"$work/repo/scripts/build"
  printf '#!/bin/sh\necho "$@" >"%s/asked"\n' "$work" >"$work/repo/build/bin/cvstack"
  chmod +x "$work/repo/scripts/"* "$work/repo/build/bin/cvstack"
  (cd "$work/elsewhere" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM bash ../repo/scripts/run sub/my.stk) \
    >"$work/out" 2>"$work/err" || fail "scripts/run exits with $?"
  grep -q "^export $work/elsewhere/sub/my.stk " "$work/asked" || fail "scripts/run did not keep the stack's folder: $(cat "$work/asked")"
  ;;
allow_files)
  # The option is no part of the stack's path: the stack named after it opens.
  headless --allow-files "$bin/Home.stk" || fail "--allow-files ends the run with $?"
  grep -q "^startup:" "$work/out" || fail "the stack was not shown"
  ! grep -q "cannot open" "$work/err" || fail "--allow-files was taken for a stack"
  ;;
*)
  fail "unknown case $case_name"
  ;;
esac
echo "ok: $case_name"
