#!/usr/bin/env bash
# Builds the Debian package and checks it as a player's machine would see it: the desktop
# entry, the AppStream metadata and lintian; the files and dependencies it ships; then it
# installs it with apt, starts the installed game the way the menu does under Xvfb, and
# removes it again. Run as root on Debian 12 after a build (or on its own: it builds what
# the package needs). Installs its own tools with apt-get when they are missing.
set -euo pipefail
cd "$(dirname "$0")/.."

say() { printf 'package-check: %s\n' "$*"; }
fail() {
  printf 'package-check: FAILED: %s\n' "$*" >&2
  exit 1
}

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

apt_install() {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@"
}

[ "$(id -u)" -eq 0 ] || fail "run as root: it installs and removes the package with apt-get"

# What building the game needs, then what checking the package needs.
bash scripts/setup.sh
tools=(dpkg-dev file desktop-file-utils appstream lintian xvfb xauth)
missing=()
for p in "${tools[@]}"; do
  installed "$p" || missing+=("$p")
done
if ((${#missing[@]})); then
  say "installing ${missing[*]}"
  apt-get update -qq
  apt_install "${missing[@]}"
fi
# apt resolves the package's dependencies from its lists, which a fresh machine lacks.
compgen -G '/var/lib/apt/lists/*_Packages' >/dev/null || apt-get update -qq

# ---------------------------------------------------------------------------------------
say "building the package"
cmake --preset default >/dev/null
cmake --build --preset default --target pintu packaging_docs
rm -f build/pintu_*.deb
cpack --preset default
debs=(build/pintu_*.deb)
{ [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ]; } || fail "cpack made no single pintu_*.deb"
deb=${debs[0]}
say "made $deb"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"

# ---------------------------------------------------------------------------------------
say "validating what the package ships"
desktop=$work/root/usr/share/applications/pintu.desktop
desktop-file-validate "$desktop"
appstreamcli validate --no-net "$work"/root/usr/share/metainfo/*.metainfo.xml
lintian --display-info --fail-on error,warning "$deb"

# ---------------------------------------------------------------------------------------
say "checking the file list"
# Every file and link the package holds, without its folders.
expected="./usr/games/pintu -> ../lib/pintu/pintu
./usr/lib/pintu/drag1pg.ico
./usr/lib/pintu/pintu
./usr/lib/pintu/pintu-decode
./usr/share/applications/pintu.desktop
./usr/share/doc/pintu/changelog.gz
./usr/share/doc/pintu/copyright
./usr/share/icons/hicolor/128x128/apps/pintu.png
./usr/share/icons/hicolor/16x16/apps/pintu.png
./usr/share/icons/hicolor/256x256/apps/pintu.png
./usr/share/icons/hicolor/32x32/apps/pintu.png
./usr/share/icons/hicolor/48x48/apps/pintu.png
./usr/share/icons/hicolor/64x64/apps/pintu.png
./usr/share/icons/hicolor/scalable/apps/pintu.svg
./usr/share/man/man6/pintu.6.gz
./usr/share/metainfo/example.pintu.Pintu.metainfo.xml"
listing=$(dpkg-deb -c "$deb")
actual=$(grep -v '^d' <<<"$listing" | awk '{ $1 = $2 = $3 = $4 = $5 = ""; sub(/^ +/, ""); print }' |
  LC_ALL=C sort)
if [ "$actual" != "$(LC_ALL=C sort <<<"$expected")" ]; then
  diff <(LC_ALL=C sort <<<"$expected") <(printf '%s\n' "$actual") >&2 || true
  fail "the package's files differ from the list above (< expected, > packaged)"
fi
for program in pintu pintu-decode; do
  grep -q "^-rwxr-xr-x root/root .* \./usr/lib/pintu/$program\$" <<<"$listing" ||
    fail "usr/lib/pintu/$program is not an executable owned by root"
done
for size in 16 32 48 64 128 256; do
  file -b "$work/root/usr/share/icons/hicolor/${size}x${size}/apps/pintu.png" |
    grep -q "PNG image data, $size x $size," || fail "the ${size}x${size} icon is not $size pixels"
done

say "checking the dependencies"
[ "$(dpkg-deb -f "$deb" Section)" = games ] || fail "section is not games"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || fail "no maintainer"
depends=$(dpkg-deb -f "$deb" Depends)
say "Depends: $depends"
IFS=',' read -ra relations <<<"$depends"
has_relation() {
  local want=$1 r
  for r in "${relations[@]}"; do
    r=$(sed -E 's/\([^)]*\)//g; s/ +/ /g; s/^ //; s/ $//' <<<"$r")
    [ "$r" = "$want" ] && return 0
  done
  return 1
}
for want in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 librsvg2-2 libtiff6 libpng16-16 \
  libheif1 libavif15 libjxl0.7 liblcms2-2 \
  qt6-qpa-plugins qt6-image-formats-plugins qt6-translations-l10n 'fonts-noto-cjk | fonts-arphic-uming'; do
  has_relation "$want" || fail "Depends lacks $want"
done
# What apt would install on a machine with nothing installed: the runtime must come along.
: >"$work/empty-status"
simulated=$(apt-get install -s -o Dir::State::status="$work/empty-status" "./$deb" 2>&1) ||
  fail "apt cannot resolve the package on an empty machine: $simulated"
for want in pintu libqt6widgets6 librsvg2-2 libheif1 libavif15 libjxl0.7 liblcms2-2 qt6-qpa-plugins qt6-image-formats-plugins \
  qt6-translations-l10n fonts-noto-cjk; do
  grep -q "^Inst $want " <<<"$simulated" || fail "apt on an empty machine would not install $want"
done
say "on an empty machine apt would install $(grep -c '^Inst ' <<<"$simulated") packages with it"

# ---------------------------------------------------------------------------------------
say "installing it with apt"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "./$deb"
trap 'DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq pintu || true; rm -rf "$work"' EXIT
dpkg --verify pintu || fail "the installed files do not match the package's checksums"

# The menu entry's command, found through the search path a player's session has on
# Debian (/etc/login.defs ENV_PATH), which holds /usr/games.
exec_line=$(sed -n 's/^Exec=//p' /usr/share/applications/pintu.desktop)
[ "$exec_line" = "pintu %f" ] || fail "the menu entry runs '$exec_line', not 'pintu %f'"
player_path=/usr/local/bin:/usr/bin:/bin:/usr/local/games:/usr/games
program=$(PATH=$player_path command -v "${exec_line%% *}") || fail "'$exec_line' is not on a player's path"
[ "$program" = /usr/games/pintu ] || fail "'$exec_line' runs $program, not /usr/games/pintu"

# The desktop's MIME cache, which the package's trigger brings up to date, offers the game for
# every MIME type the entry lists: a file manager shows it under "Open With".
types=$(sed -n 's/^MimeType=//p' /usr/share/applications/pintu.desktop | tr ';' ' ')
[ -n "${types// /}" ] || fail "the menu entry lists no MIME types"
for type in $types; do
  awk -F= -v type="$type" '$1 == type && $2 ~ /(^|;)pintu\.desktop;/ { found = 1 }
    END { exit !found }' /usr/share/applications/mimeinfo.cache ||
    fail "/usr/share/applications/mimeinfo.cache does not offer pintu.desktop for $type"
done
say "the MIME cache offers pintu.desktop for $(wc -w <<<"$types") MIME types"
version=$(dpkg-deb -f "$deb" Version)
[ "$("$program" --version)" = "pintu ${version%%-*}" ] ||
  fail "'$program --version' does not say pintu ${version%%-*}"

# As a file manager's "Open With" starts it, with a picture file for %f.
opened=/usr/share/icons/hicolor/256x256/apps/pintu.png
say "starting '${exec_line/\%f/$opened}' ($program) under Xvfb"
cat >"$work/start.sh" <<'EOF'
# Starts the game with a picture, lets it run for a few seconds, and reports where it ran from.
"$1" "$4" 2>"$2" &
pid=$!
sleep 4
if ! kill -0 "$pid" 2>/dev/null; then
  wait "$pid"
  echo "nothing: it ended with status $? within 4 seconds" >"$3"
  exit 0
fi
readlink "/proc/$pid/exe" >"$3"
kill "$pid"
wait "$pid" || true
EOF
PATH=$player_path xvfb-run -a -s '-screen 0 1024x768x24' \
  bash "$work/start.sh" "$program" "$work/stderr" "$work/ran" "$opened"
ran=$(cat "$work/ran")
echo "--- the game's standard error:"
cat "$work/stderr"
echo "---"
[ "$ran" = /usr/lib/pintu/pintu ] || fail "the game did not keep running from /usr/lib/pintu/pintu ($ran)"
! grep -i 'drag icon' "$work/stderr" || fail "the installed game did not find its drag icon"
! grep '^pintu:' "$work/stderr" || fail "the installed game warned about its set-up"

# The decoding process as the game starts it: a picture on its standard input, the answer,
# a picture of the icon's 32 x 32 pixels, on its standard output.
/usr/lib/pintu/pintu-decode </usr/share/icons/hicolor/32x32/apps/pintu.png >"$work/answer" ||
  fail "the installed pintu-decode ended with status $?"
answer=$(head -c 20 "$work/answer" | od -An -tx1 | tr -d ' \n')
[ "$answer" = "50494e5455444543010000002000000020000000" ] ||
  fail "the installed pintu-decode did not decode the icon (answered $answer)"

say "removing it"
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq pintu
trap 'rm -rf "$work"' EXIT
! installed pintu || fail "pintu is still installed"
{ [ ! -e /usr/games/pintu ] && [ ! -e /usr/lib/pintu ]; } || fail "files remain after removal"

say "all checks passed"
