# shellcheck shell=bash disable=SC2154  # root, runs, out, measure: the caller's
# Sourced by the start-up benchmarks: runs viewer_screenshot on programs in
# turn, inside one Xvfb screen and one Wine session kept up between runs so
# that no run pays for starting it. Needs WINEPREFIX, root, runs, out (the
# folder of <name>.exe) and measure (viewer_screenshot.exe) exported.
#   run_programs <name>...   writes "<name> <run> <viewer_screenshot's line>"
# lines to standard output, runs 0 (untimed) to $runs of each.

# One screen's session: what run_programs starts inside xvfb-run.
run_all() {
  windows_path() { local p=${1//\//\\}; echo "Z:$p"; }
  wineserver -p
  local i program
  for i in $(seq 0 "$runs"); do
    for program in "$@"; do
      echo "$program $i $("$root/scripts/wine-run.sh" "$WINEPREFIX" "$measure" \
        "$(windows_path "$out/$program.exe")" "$(windows_path "$out/$program-$i.png")" \
        2>/dev/null || true)"
    done
  done
  wineserver -k
}

run_programs() {
  # Wine's session must start inside this screen: one left from another
  # display refuses the windows of this one.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  xvfb-run -a -s "-screen 0 1920x1080x24" \
    bash -c "$(declare -f run_all); run_all \"\$@\"" run_all "$@"
}
