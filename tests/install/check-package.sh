#!/usr/bin/env bash
# The Debian package as a user gets it: built from the build folder, its dependencies resolved by
# apt, its files unpacked into a temporary root and the program run from there, headless, against
# an emulated server on loopback. Runs inside tools/netns-run.
#
#   check-package.sh BUILD_DIR EMULATOR
set -euo pipefail

build=$1
emulator=$2
work=$(mktemp -d)
emu_pid=
window_pid=
xvfb_pid=
cleanup() {
    for pid in "$window_pid" "$xvfb_pid" "$emu_pid"; do
        [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    rm -rf "$work"
}
trap cleanup EXIT
trap 'echo "package: line $LINENO failed" >&2' ERR
fail() {
    echo "package: $*" >&2
    exit 1
}

for tool in cpack dpkg-deb apt-get readelf lintian groff; do
    command -v "$tool" >/dev/null || { echo "package: $tool is not installed; skipped"; exit 77; }
done

start=$(date +%s.%N)
cpack -G DEB -B "$work/out" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack failed"; }
debs=("$work"/out/vantry_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then fail "cpack made no vantry_*.deb"; fi
deb=${debs[0]}
version=$(dpkg-deb -f "$deb" Version)
upstream=${version%-*} # without the Debian revision
[ "$upstream" != "$version" ] || fail "version $version has no Debian revision"
echo "package: $(basename "$deb") built"

# Lintian as Debian's archive would run it; its warnings count too, so that a fault it reports
# as one (a long description line, a missing manual page) does not creep back in.
lintian --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log"; fail "lintian found faults"; }

# Every dependency is a package that apt can install: here, and on a fresh machine, where apt
# starts from no installed package at all and must find the whole closure in the archive.
apt-get install --simulate "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt cannot install it"; }
grep -q '^Inst vantry ' "$work/apt.log" || { cat "$work/apt.log"; fail "apt would not install vantry"; }
: >"$work/no-packages"
apt-get install --simulate -o Dir::State::status="$work/no-packages" "$deb" >"$work/apt-fresh.log" 2>&1 ||
    { cat "$work/apt-fresh.log"; fail "apt cannot install it on a machine without packages"; }
for want in libqt6widgets6 vantry; do
    grep -q "^Inst $want " "$work/apt-fresh.log" ||
        { cat "$work/apt-fresh.log"; fail "apt would not install $want on a fresh machine"; }
done

root=$work/root
dpkg-deb -x "$deb" "$root"
program=$root/usr/bin/vantry
[ -x "$program" ] || fail "no usr/bin/vantry in the package"
share=$root/usr/share

# The documents Debian asks of every package: a machine-readable copyright file and a changelog
# whose newest entry is this version, compressed without a name or a time in its header.
doc=$share/doc/vantry
[ "$(head -n 1 "$doc/copyright" 2>/dev/null)" = \
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" ] ||
    fail "no machine-readable copyright file in usr/share/doc/vantry"
no_name_or_time() { # gzip header: no FNAME flag (byte 3, bit 3), MTIME (bytes 4 to 7) zero
    local header
    header=$(od -An -tu1 -N8 "$1" | tr -s ' ')
    read -r _ _ _ flags t0 t1 t2 t3 <<<"$header"
    [ $((flags & 8)) -eq 0 ] && [ "$t0$t1$t2$t3" = 0000 ]
}
changelog=$doc/changelog.Debian.gz
[ -f "$changelog" ] || fail "no changelog.Debian.gz in usr/share/doc/vantry"
no_name_or_time "$changelog" || fail "changelog.Debian.gz carries a file name or time"
top=$(gzip -dc "$changelog" | head -n 1)
[[ "$top" == "vantry ($version) "* ]] || fail "the changelog's newest entry is '$top', the package is $version"

# The manual page: installed compressed, rendered by groff without a warning, of this version,
# and naming every option that the program's own help texts name.
manpage=$share/man/man1/vantry.1.gz
[ -f "$manpage" ] || fail "no usr/share/man/man1/vantry.1.gz in the package"
no_name_or_time "$manpage" || fail "the manual page's gzip header carries a file name or time"
gzip -dc "$manpage" >"$work/vantry.1"
LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$work/vantry.1" 2>"$work/groff.log" || true
[ ! -s "$work/groff.log" ] || { cat "$work/groff.log"; fail "the manual page renders with warnings"; }
grep -q "^\\.TH VANTRY 1 .*\"Vantry $upstream\"" "$work/vantry.1" ||
    fail "the manual page's title line does not name Vantry $upstream: $(head -n 1 "$work/vantry.1")"
rendered=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -rLL=1000n -rHY=0 -P-cbou "$work/vantry.1" 2>/dev/null | tr -s ' \n' '  ')
for words in "" query master; do
    # shellcheck disable=SC2086 # the command word, when there is one, is a word of its own
    helped=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" $words --help) ||
        fail "vantry $words --help failed"
    for option in $(grep -oE -- '(^|[ ,])--?[a-zA-Z?][a-z-]*' <<<"$helped" | tr -d ' ,' | sort -u); do
        grep -qF -- "$option" <<<"$rendered" || fail "the manual page does not name $option of vantry $words --help"
    done
done

# Every library the program loads comes from a package that the package depends on, and nothing
# ties the program to the build folder.
depends=$(dpkg-deb -f "$deb" Depends)
dynamic=$(readelf -d "$program")
if grep -qE 'R(UN)?PATH' <<<"$dynamic"; then
    fail "the program carries a library path: $(grep -E 'R(UN)?PATH' <<<"$dynamic")"
fi
owner_of() { # the package that installed a library file, under either name of a merged /usr
    local path found
    for path in "$1" "$(readlink -f "$1")" "${1#/usr}" "/usr${1#/usr}"; do
        found=$(dpkg-query -S "$path" 2>/dev/null) || continue
        echo "${found%%:*}"
        return 0
    done
}
libraries=$("$(command -v ldconfig || echo /sbin/ldconfig)" -p)
wanted=$(tr ',|' '\n' <<<"$depends" | sed -E 's/^ +//; s/[ (].*//')
while read -r soname; do
    file=$(awk -v so="$soname" '$1 == so && /x86-64/ { print $NF; exit }' <<<"$libraries")
    [ -n "$file" ] || fail "$soname is not installed here"
    owner=$(owner_of "$file")
    [ -n "$owner" ] || fail "no package owns $file"
    grep -qxF "$owner" <<<"$wanted" || fail "$soname comes from $owner, which Depends leaves out: $depends"
done < <(sed -nE 's/.*\(NEEDED\).*\[(.*)\]/\1/p' <<<"$dynamic")

# The desktop entry starts the program by name with the icon that the package installs in every
# size, and the AppStream metadata names that entry and this version.
desktops=("$share"/applications/*.desktop)
if [ ${#desktops[@]} -ne 1 ] || [ ! -f "${desktops[0]}" ]; then fail "want one desktop entry in usr/share/applications"; fi
desktop=${desktops[0]}
grep -qx 'Exec=vantry' "$desktop" || fail "the desktop entry does not run vantry"
icon=$(sed -n 's/^Icon=//p' "$desktop")
[ -f "$share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no scalable icon '$icon'"
for size in 16 22 24 32 48 64 128 256; do
    png=$share/icons/hicolor/${size}x$size/apps/$icon.png
    [ -f "$png" ] || fail "no ${size}x$size icon"
    # Width and height in the PNG header, big-endian, at bytes 16 and 20.
    read -r width height < <(od -An -tu1 -j16 -N8 "$png" |
        awk '{ print $1 * 16777216 + $2 * 65536 + $3 * 256 + $4, $5 * 16777216 + $6 * 65536 + $7 * 256 + $8 }')
    [ "$width $height" = "$size $size" ] || fail "the ${size}x$size icon is ${width}x$height"
done
metainfos=("$share"/metainfo/*.metainfo.xml)
[ -f "${metainfos[0]}" ] || fail "no AppStream metadata in usr/share/metainfo"
metainfo=${metainfos[0]}
grep -q "<launchable type=\"desktop-id\">$(basename "$desktop")</launchable>" "$metainfo" ||
    fail "the metadata does not name $(basename "$desktop")"
grep -q "<id>$(basename "$metainfo" .metainfo.xml)</id>" "$metainfo" || fail "the metadata's file is not named by its id"
grep -q "<release version=\"$upstream\"" "$metainfo" || fail "the metadata has no release $upstream"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" | grep -v ': hint: ' && fail "desktop-file-validate found faults"
fi
# One main category, so that menus list the program once, and the class that the window reports
# to X11, so that docks and task bars put the running window under the entry's icon.
mains=$(sed -n 's/^Categories=//p' "$desktop" | tr ';' '\n' |
    grep -cxE 'AudioVideo|Audio|Video|Development|Education|Game|Graphics|Network|Office|Science|Settings|System|Utility' ||
    true)
[ "$mains" -eq 1 ] || fail "the desktop entry has $mains main categories, want one"
wmclass=$(sed -n 's/^StartupWMClass=//p' "$desktop")
[ -n "$wmclass" ] || fail "the desktop entry has no StartupWMClass"
if command -v Xvfb >/dev/null && command -v xwininfo >/dev/null; then
    exec 3>"$work/display"
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    exec 3>&-
    for _ in $(seq 100); do
        [ -s "$work/display" ] && break
        sleep 0.05
    done
    [ -s "$work/display" ] || { cat "$work/xvfb.log"; fail "Xvfb did not start"; }
    display=:$(head -n 1 "$work/display")
    # A folder of its own for the settings and for the single-instance socket, so that a copy
    # the user runs meanwhile is neither asked nor touched.
    mkdir -p "$work/home"
    DISPLAY=$display HOME=$work/home XDG_CONFIG_HOME=$work/home/.config TMPDIR=$work/home \
        QT_QPA_PLATFORM=xcb "$program" --settings "$work/home/vantry.ini" >"$work/window.log" 2>&1 &
    window_pid=$!
    shown=
    for _ in $(seq 200); do
        # The main window's line: 0x... "Vantry 1.98": ("instance" "Class")  geometry
        shown=$(DISPLAY=$display xwininfo -root -tree 2>/dev/null |
            sed -nE "s/.*\"Vantry $upstream\": \(\"[^\"]*\" \"([^\"]*)\"\).*/\1/p" | head -n 1)
        [ -n "$shown" ] && break
        sleep 0.05
    done
    [ -n "$shown" ] || { cat "$work/window.log"; fail "the packaged program showed no window"; }
    [ "$shown" = "$wmclass" ] || fail "the window's class is $shown, the desktop entry's StartupWMClass $wmclass"
    kill "$window_pid"
    wait "$window_pid" 2>/dev/null || true
    window_pid=
fi
if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 ||
        { cat "$work/appstream.log"; fail "appstreamcli validate found faults"; }
fi

# Help and version without a display.
help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --help) || fail "vantry --help failed"
for want in 'usage: vantry [--settings FILE]' '--scan' 'vantry query HOST' 'vantry sweep FROM TO'; do
    grep -qF -- "$want" <<<"$help" || fail "vantry --help does not say '$want'"
done
shown=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --version) || fail "vantry --version failed"
[ "$shown" = "Vantry $upstream" ] || fail "vantry --version says '$shown', the package is $version"

# A query from the unpacked program to an emulated server.
port=27915
"$emulator" --server "127.0.0.1:$port name=\"Packaged test\" map=de_dust2" >"$work/emu.log" 2>&1 &
emu_pid=$!
for _ in $(seq 100); do
    grep -q 'listening on' "$work/emu.log" && break
    sleep 0.05
done
grep -q 'listening on' "$work/emu.log" || { cat "$work/emu.log"; fail "the emulated server did not start"; }
answer=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" query "127.0.0.1:$port" --timeout 3000) ||
    fail "vantry query from the package found no server"
tab=$'\t'
grep -q "^127\.0\.0\.1:${port}${tab}[^${tab}]*${tab}Packaged test${tab}de_dust2${tab}" <<<"$answer" ||
    fail "vantry query printed: $answer"

echo "package: $(basename "$deb") installs, runs headless and queries" \
    "($(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }') s)"
