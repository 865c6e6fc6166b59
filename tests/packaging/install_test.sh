#!/usr/bin/env bash
# install_test.sh BUILD_DIR SOURCE_DIR -- installs the build into a temporary prefix and
# checks what lands there: the file list, the desktop entry and metainfo (validated), the
# icon sizes, the man pages, and that the installed virtual modem finds its profiles.
set -euo pipefail
build=$1
source=$2
for tool in desktop-file-validate appstreamcli; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/deps installs it)"
    exit 77
  fi
done
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

# The file list.
expected=$(
  {
    printf '%s\n' bin/tavrin bin/tavrin-desktop bin/tavrin-export bin/tavrin-vmodem \
      lib/udev/rules.d/77-tavrin-voice-modems.rules \
      share/applications/tavrin.desktop \
      share/metainfo/org.example.tavrin.metainfo.xml \
      share/icons/hicolor/scalable/apps/tavrin.svg \
      share/man/man1/tavrin.1.gz share/man/man1/tavrin-desktop.1.gz share/man/man1/tavrin-export.1.gz \
      share/man/man1/tavrin-vmodem.1.gz
    for size in 16 22 24 32 48 64 128 256; do
      echo "share/icons/hicolor/${size}x${size}/apps/tavrin.png"
    done
    (cd "$source/doc/manual" && find . -type f | sed 's|^\./|share/tavrin/manual/|')
    (cd "$source/tools/vmodem/profiles" && ls *.profile | sed 's|^|share/tavrin/vmodem/|')
  } | sort
)
actual=$(cd "$prefix" && find . \( -type f -o -type l \) | sed 's|^\./||' | sort)
if [ "$expected" != "$actual" ]; then
  diff <(echo "$expected") <(echo "$actual") >&2 || true
  fail "installed files differ from the expected list (< expected, > installed)"
fi
for program in tavrin tavrin-desktop tavrin-export tavrin-vmodem; do
  [ -x "$prefix/bin/$program" ] || fail "bin/$program is not executable"
done
# The manual: every picture it shows is installed with it.
manual="$prefix/share/tavrin/manual"
[ -f "$manual/index.html" ] || fail "the manual has no index.html"
for image in $(grep -o 'src="[^"]*"' "$manual/index.html" | sed 's/^src="//; s/"$//'); do
  [ -f "$manual/$image" ] || fail "the manual shows $image, which is not installed"
done

# The desktop entry: valid, shown in the menu, starting the launcher.
desktop="$prefix/share/applications/tavrin.desktop"
report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $report"
if grep -qE "error|warning" <<<"$report"; then fail "desktop-file-validate: $report"; fi
for line in "Name=Tavrin" "GenericName=Call recorder" "Exec=tavrin-desktop" "Icon=tavrin" \
            "Terminal=false" "Categories=AudioVideo;Audio;Recorder;Telephony;"; do
  grep -qxF "$line" "$desktop" || fail "tavrin.desktop lacks $line"
done
grep -q "^Comment=." "$desktop" || fail "tavrin.desktop has no Comment"

metainfo="$prefix/share/metainfo/org.example.tavrin.metainfo.xml"
report=$(appstreamcli validate --no-net "$metainfo" 2>&1) || fail "appstreamcli: $report"
version=$(sed -n 's/^project(Tavrin VERSION \([0-9.]*\).*/\1/p' "$source/CMakeLists.txt")
grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo names no release $version"

# Each PNG is as large as its folder says.
for png in "$prefix"/share/icons/hicolor/*x*/apps/tavrin.png; do
  folder=$(basename "$(dirname "$(dirname "$png")")")
  if command -v identify >/dev/null; then
    size=$(identify -format '%wx%h' "$png")
    [ "$size" = "$folder" ] || fail "$png is $size"
  fi
done

# Man pages: configured, and clean for groff where it is there.
for page in "$prefix"/share/man/man1/*.1.gz; do
  text=$(gzip -dc "$page")
  if grep -q "@[A-Z_]*@" <<<"$text"; then fail "$page keeps a placeholder"; fi
  grep -q "^\.TH " <<<"$text" || fail "$page has no title line"
  if command -v groff >/dev/null; then
    warnings=$(groff -man -Tutf8 -ww -z <<<"$text" 2>&1)
    [ -z "$warnings" ] || fail "$page: $warnings"
  fi
done

# The installed virtual modem reads the installed profiles, without options: a profile
# that exists only there is listed.
cp "$prefix/share/tavrin/vmodem/conexant.profile" "$prefix/share/tavrin/vmodem/installedonly.profile"
list=$("$prefix/bin/tavrin-vmodem" --list-profiles)
grep -q "^installedonly" <<<"$list" || fail "tavrin-vmodem does not read the installed profiles: $list"
grep -q "^conexant" <<<"$list" || fail "tavrin-vmodem lists no conexant profile"
# The installed exporter runs on its own (it needs no window libraries) and names its version.
exported=$("$prefix/bin/tavrin-export" --version)
[ "$exported" = "tavrin-export $version" ] || fail "tavrin-export --version says: $exported"

echo "install layout ok: $(wc -l <<<"$actual") files"
