# Sourced by the scripted demos after they set root and build: reruns the
# demo on a virtual screen (the screenshot folder is the demo's $1, by default
# build/screenshots), then enters run.sh's prefix (build/runprefix, X11
# driver), making it when it is missing. Sets out.
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
