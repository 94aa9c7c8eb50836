# Sourced by the scripted demos after they set root and build: reruns the
# demo on a virtual screen (the screenshot folder is the demo's $1, by default
# build/screenshots), then enters run.sh's prefix (build/runprefix, X11
# driver), making it when it is missing. Sets out, and gives the demos their
# screenshots (shot), xdotool with a time limit (x), a wait for a window by
# its title (wait_for_window) and explorer's Location box (go_to).
if [ "${1:-}" != "--inside" ]; then
  out=${1:-$build/screenshots}
  mkdir -p "$out"
  out=$(cd "$out" && pwd)
  if [ -z "${KTX_SKIP_BUILD:-}" ]; then
    bash "$root/scripts/setup.sh"
    bash "$root/scripts/build.sh"
  fi
  timeout 600 xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" --inside "$out"
  exit $?
fi
out=$2

export WINEPREFIX=$build/runprefix
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=en_US.UTF-8 LC_CTYPE=C.UTF-8
source "$root/scripts/wine-prefix.sh"
make_prefix

step=0
demo=$(basename "$0" .sh)
shot() {
  step=$((step + 1))
  import -window root "PNG24:$out/$demo-$step-$1.png"
  echo "Screenshot: $out/$demo-$step-$1.png"
}
x() { timeout 20 xdotool "$@"; }
# Types a path into explorer's Location box and goes there.
go_to() {
  x mousemove 300 70 click 1
  sleep 0.5
  x key ctrl+a
  x type --delay 30 "$1"
  x key Return
  sleep 5
}
# Waits up to two minutes for a visible window whose title matches $1.
wait_for_window() {
  for _ in $(seq 120); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 && return 0
    sleep 1
  done
  return 1
}
