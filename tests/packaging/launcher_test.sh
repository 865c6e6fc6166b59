#!/bin/sh
# launcher_test.sh LAUNCHER -- the desktop launcher starts Tavrin in $XDG_DATA_HOME/Tavrin
# (default ~/.local/share/Tavrin), made private when missing, with the arguments passed on.
# A stand-in tavrin beside the launcher reports where and how it was started.
set -eu
launcher=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

mkdir -p "$work/bin"
cp "$launcher" "$work/bin/tavrin-desktop"
cat >"$work/bin/tavrin" <<'STUB'
#!/bin/sh
{ pwd; for a in "$@"; do echo "arg:$a"; done; } >"$REPORT"
STUB
chmod +x "$work/bin/tavrin" "$work/bin/tavrin-desktop"
export REPORT="$work/report"
mode() { stat -c %a "$1"; }

# Default: ~/.local/share/Tavrin, every folder made private; arguments kept whole.
home="$work/my home"
mkdir -p "$home"
env -u XDG_DATA_HOME HOME="$home" "$work/bin/tavrin-desktop" ONIDE "two words" ||
  fail "the launcher failed"
[ "$(sed -n 1p "$REPORT")" = "$home/.local/share/Tavrin" ] || fail "started in $(sed -n 1p "$REPORT")"
[ "$(sed -n 2p "$REPORT")" = "arg:ONIDE" ] && [ "$(sed -n 3p "$REPORT")" = "arg:two words" ] ||
  fail "arguments: $(cat "$REPORT")"
for d in "$home/.local" "$home/.local/share" "$home/.local/share/Tavrin"; do
  [ "$(mode "$d")" = 700 ] || fail "$d has mode $(mode "$d")"
done

# XDG_DATA_HOME, when absolute, holds the folder.
rm -f "$REPORT"
XDG_DATA_HOME="$work/data" HOME="$home" "$work/bin/tavrin-desktop"
[ "$(sed -n 1p "$REPORT")" = "$work/data/Tavrin" ] || fail "XDG_DATA_HOME ignored: $(cat "$REPORT")"
[ "$(sed -n 2p "$REPORT")" = "" ] || fail "arguments made up: $(cat "$REPORT")"

# A relative XDG_DATA_HOME is invalid and ignored.
rm -f "$REPORT"
(cd "$work" && XDG_DATA_HOME="relative" HOME="$home" "$work/bin/tavrin-desktop")
[ "$(sed -n 1p "$REPORT")" = "$home/.local/share/Tavrin" ] || fail "relative XDG_DATA_HOME used"
[ ! -e "$work/relative" ] || fail "a relative XDG_DATA_HOME made a folder"

# An existing folder keeps the mode its owner gave it.
mkdir -p "$work/shared/Tavrin"
chmod 755 "$work/shared/Tavrin"
XDG_DATA_HOME="$work/shared" "$work/bin/tavrin-desktop"
[ "$(mode "$work/shared/Tavrin")" = 755 ] || fail "the launcher changed an existing folder's mode"

# A folder that cannot be made: the launcher fails and Tavrin is not started elsewhere.
rm -f "$REPORT"
if XDG_DATA_HOME=/proc/tavrin-nonexistent "$work/bin/tavrin-desktop" 2>/dev/null; then
  fail "the launcher succeeded without its folder"
fi
[ ! -e "$REPORT" ] || fail "Tavrin started without its folder"

# No tavrin beside the launcher: the one on the PATH.
mkdir -p "$work/alone" "$work/path"
cp "$launcher" "$work/alone/tavrin-desktop"
mv "$work/bin/tavrin" "$work/path/tavrin"
rm -f "$REPORT"
PATH="$work/path:$PATH" XDG_DATA_HOME="$work/data" sh "$work/alone/tavrin-desktop" x
[ "$(sed -n 2p "$REPORT")" = "arg:x" ] || fail "the tavrin on the PATH was not started"
echo "launcher ok"
