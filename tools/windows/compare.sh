#!/usr/bin/env bash
# Runs the same commands through the Linux build of packsmith-cli and, under Wine, through
# the Windows build, each in a work folder of its own holding the same inputs: the sample
# files, sound made with sox at several rates and kinds, and damaged copies of the packs.
# Every file either side writes must be byte for byte the other's, and so must what each
# prints and its exit status, once the work folders' own paths (and Windows's CR LF on the
# console, and the "\" it prints paths with) are set aside. Then the Windows build alone: a
# target folder and an input of non-ASCII names, a .wac extracted again into its own folder,
# and Ctrl+C in a run.
#   tools/windows/compare.sh LINUX_BIN WINDOWS_BIN
# LINUX_BIN holds packsmith-cli and packsmith-samples; WINDOWS_BIN packsmith-cli.exe and
# the DLLs beside it. Exits non-zero on the first difference.
set -euo pipefail
linux_bin="$(realpath "$1")"
windows_bin="$(realpath "$2")"
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-packsmith}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree=d;mshtml=d}"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in" "$work/L" "$work/W"
wineboot -i >/dev/null 2>&1 || true

# -- The inputs, made once and copied to both sides.
"$linux_bin/packsmith-samples" "$work/in" >/dev/null
(
    cd "$work/in"
    sox -R -n -r 22050 -c 1 -b 16 mono22k.wav synth 2.5 sine 300:900 gain -3
    sox -R -n -r 44100 -c 2 -b 16 stereo44k.wav synth 3 pinknoise gain -12 fade 0.1 3 0.2
    sox -R -n -r 48000 -c 2 -b 24 deep48k.wav synth 1.5 square 220 gain -9
    sox -R -n -r 32000 -c 1 tone.flac synth 2 triangle 440 gain -6
    sox -R -n -r 44100 -c 2 tone.ogg synth 2 sine 660 gain -6
    sox -R -n -r 8000 -c 1 -b 8 short.wav synth 0.01 sine 1000
    # Damaged packs: cut short and with bytes overwritten at places that matter.
    python3 - <<'EOF'
import pathlib
for name in ("chord.wac", "theme.was", "sprites.at3"):
    data = pathlib.Path(name).read_bytes()
    stem, ext = name.split(".")
    for cut in (0, 7, 33, len(data) // 3, len(data) - 1):
        pathlib.Path(f"cut{cut}-{stem}.{ext}").write_bytes(data[:cut])
    for at in (8, 12, 16, 40, 52, 56, 300, len(data) // 2):
        if at + 4 <= len(data):
            pathlib.Path(f"bad{at}-{stem}.{ext}").write_bytes(data[:at] + b"\xff\xff\xff\x7f" + data[at + 4:])
EOF
)
cp -r "$work/in" "$work/L/in"
cp -r "$work/in" "$work/W/in"

# A side's text with its work folder's path put as <work>.
normalized() { # side
    if [ "$1" = L ]; then
        sed -e "s#$work/L#<work>#g"
    else
        sed -e "s#Z:$work/W#<work>#g"
    fi
}
# Bytes that are not UTF-8 as the characters Windows names files with for them (those of
# Windows-1252; the five it leaves out stand for themselves), as the Windows build lists
# stored names that are not UTF-8.
as_windows_text() {
    python3 -c '
import sys
table = {b: bytes([b]).decode("cp1252", "ignore") or chr(b) for b in range(0x80, 0x100)}
text = sys.stdin.buffer.read().decode("utf-8", "surrogateescape")
sys.stdout.buffer.write("".join(table[ord(c) - 0xDC00] if 0xDC80 <= ord(c) <= 0xDCFF else c
                                for c in text).encode("utf-8"))'
}
# What a side printed, the same, with the console's CR LF on Windows as LF. Windows prints
# paths with "\" and Linux with "/" (result logs keep "/" on both, and are compared as
# written), and names that are not UTF-8 as its files are named: in what is printed, both
# sides' "\" are taken as "/" and their bytes that are not UTF-8 as Windows names them, and
# nothing else is changed.
printed() { # side
    if [ "$1" = L ]; then
        tr '\\' / | as_windows_text | normalized L
    else
        sed -e 's/\r$//' | tr '\\' / | as_windows_text | normalized W
    fi
}

commands=0
run_both() { # arguments, with paths relative to the work folders
    commands=$((commands + 1))
    local status_l=0 status_w=0
    (cd "$work/L" && "$linux_bin/packsmith-cli" "$@") >"$work/L.out" 2>"$work/L.err" || status_l=$?
    (cd "$work/W" && wine "$windows_bin/packsmith-cli.exe" "$@") >"$work/W.out" 2>"$work/W.err" || status_w=$?
    local printed_l printed_w
    printed_l="$(echo "status $status_l"; printed L <"$work/L.out"; echo "-- stderr"; printed L <"$work/L.err")"
    printed_w="$(echo "status $status_w"; printed W <"$work/W.out"; echo "-- stderr"; printed W <"$work/W.err")"
    if [ "$printed_l" != "$printed_w" ]; then
        echo "DIFFERENT output of: packsmith-cli $*" >&2
        diff <(echo "$printed_l") <(echo "$printed_w") >&2 || true
        exit 1
    fi
}

# Every file either side wrote, the same (compare_trees.py says how names, logs and
# resampled sound are compared).
compare_trees() { python3 "$(dirname "${BASH_SOURCE[0]}")/compare_trees.py" "$work" "$linux_bin/packsmith-cli"; }

# -- Listing, extracting, on one thread and on two.
for pack in chord.wac theme.was sprites.at3; do
    run_both --list "in/$pack"
    run_both --list --json "in/$pack"
done
run_both --list --only "gfx\\*" in/sprites.at3
run_both -q -o out/wac in/chord.wac
run_both -o out/was in/theme.was
run_both -j 1 -o out/at3 in/sprites.at3
run_both -j 2 -o out/at3-2 in/sprites.at3
run_both -o out/only --only "*.bmp" in/sprites.at3
run_both -f at3 -o out/named-f in/sprites.at3
compare_trees

# -- Replays: the same picture edited on both sides, each way of storing it.
for side in L W; do
    picture="$(cd "$work/$side" && find out/at3 -name '*.tga' | LC_ALL=C sort | head -n 1)"
    printf '\377\377\377\377\377\377\377\377' | dd of="$work/$side/$picture" bs=1 seek=18 conv=notrunc status=none
done
for coding in exact lossy raw; do
    run_both --compress "$coding" -o "out/rebuilt-$coding" out/at3/result.log
done
run_both -o out/rebuilt-wac out/wac/result.log
run_both -o out/rebuilt-was out/was/result.log
compare_trees

# -- Packing sound, with resampling where a source sets the rate.
run_both --pack wac -o out/pack-wac in/mono22k.wav in/stereo44k.wav in/deep48k.wav in/short.wav
run_both --pack was -o out/pack-was in/mono22k.wav in/stereo44k.wav in/tone.flac in/tone.ogg
run_both --pack wac --like in/chord.wac -o out/like-wac in/deep48k.wav in/tone.flac
run_both --pack was --like in/theme.was -o out/like-was in/stereo44k.wav in/tone.ogg
run_both -o out/unpacked out/pack-wac/stereo44k.wac
compare_trees

# -- Damaged inputs: the same message (paths aside) and the same status.
for damaged in "$work"/in/cut* "$work"/in/bad*; do
    name="$(basename "$damaged")"
    run_both -q -o "out/damaged/$name" "in/$name"
    run_both --list "in/$name"
done
compare_trees
echo "== $commands commands gave the same files, output and status on Linux and on Windows (Wine)"

# -- The Windows build alone.
cd "$work/W"
cli() { wine "$windows_bin/packsmith-cli.exe" "$@"; }
# A target folder and an input of names no single-byte code page holds.
cp in/chord.wac "in/ünï 文字.wac"
fail() { echo "FAILED: $*" >&2; exit 1; }
cli -q -o "out/ünï 文字 Ω" "in/ünï 文字.wac" || fail "extracting in/ünï 文字.wac into out/ünï 文字 Ω"
cmp "out/ünï 文字 Ω/ünï 文字.wav" "$work/W/out/wac/chord.wav" || fail "the .wav of a non-ASCII name"
grep -q "^#Source: Z:$work/W/in/ünï 文字.wac"$'\r'"\$" "out/ünï 文字 Ω/result.log" ||
    fail "the result log of a non-ASCII name: $(cat "out/ünï 文字 Ω/result.log")"
cli -q -o "out/ünï replayed" "out/ünï 文字 Ω/result.log" || fail "replaying a log in a non-ASCII folder"
cmp "out/ünï replayed/ünï 文字.wac" in/chord.wac || fail "the .wac replayed from a non-ASCII folder"
# A .wac extracted again into its own folder: its .wav is replaced, the .wac untouched.
mkdir -p out/again && cp in/chord.wac out/again/
cli -q -o out/again out/again/chord.wac || fail "extracting a .wac into its own folder"
cli -q -o out/again out/again/chord.wac || fail "extracting a .wac into its own folder again"
cmp out/again/chord.wac in/chord.wac || fail "the .wac extracted into its own folder changed"
cmp out/again/chord.wav "$work/W/out/wac/chord.wav" || fail "the .wav extracted into the .wac's folder"
# A log whose lines a Windows editor wrote with "\" replays as the program's own.
sed 's#/#\\#g' out/at3/result.log >out/at3/backslashed.log
cli -q -o out/backslashed out/at3/backslashed.log || fail "replaying a log of paths with \\"
cmp out/backslashed/sprites.at3 out/rebuilt-exact/sprites.at3 || fail "the pack replayed from a log of paths with \\"
echo "== Windows: non-ASCII names, a log of paths with \\, and extracting again into the input's own folder work"

# Stored names Windows cannot take as they are (devices, "?", "*", a trailing "."), written
# deeper than the old limit of 260 characters, and replayed into the very same pack.
python3 - <<'EOF'
import pathlib
pack = bytearray(pathlib.Path("in/sprites.at3").read_bytes())
names = [b"CON.BMP", b"a?b*.x.con", b"nul", b"x:y\\z|.bmp", b"x.bmp " + b"L" * 150]
for k, name in enumerate(names):
    pack[32 + 256 * k:32 + 256 * k + 243] = name.ljust(243, b"\0")
pathlib.Path("in/devices.at3").write_bytes(pack)
EOF
deep="out/$(printf 'a folder of a long name, %.0s' 1 2 3 4 5 6)and/deeper and deeper still"
cli -q -o "$deep" in/devices.at3 || fail "extracting stored names of devices deep down"
long="$(printf 'L%.0s' $(seq 150))"
for made in BMP/CON_.BMP.tga CON_/a_b_.x.con.tga nul_.tga BMP/z_.bmp.tga "BMP $long/x.bmp $long.tga"; do
    [ -s "$deep/$made" ] || fail "no $made in $deep: $(cd "$deep" && find . -type f)"
done
[ "$(printf '%s' "Z:$work/W/$deep/BMP $long/x.bmp $long.tga" | wc -c)" -gt 260 ] || fail "the path is not long enough"
cli -q -o "$deep/rebuilt" "$deep/result.log" || fail "replaying pictures of device names deep down"
cmp "$deep/rebuilt/devices.at3" in/devices.at3 || fail "the pack rebuilt from pictures of device names"
echo "== Windows: stored names of devices and characters Windows refuses, deeper than 260 characters"

# Ctrl+C in a long run: it stops, leaves no part of a file, and ends with 130. Wine turns
# SIGINT into the console's Ctrl+C event.
sox -n -r 44100 -c 2 -b 16 in/long.wav synth 600 sine 440
status=0
cli --pack wac -o out/stopped in/long.wav in/long.wav >"$work/stop.out" 2>&1 &
pid=$!
for _ in $(seq 100); do
    grep -q "Packing" "$work/stop.out" 2>/dev/null && break
    sleep 0.05
done
pkill -INT -f 'packsmith-cli.exe --pack wac -o out/stopped' || true
wait "$pid" || status=$?
if [ "$status" -ne 130 ] || [ -n "$(ls -A out/stopped 2>/dev/null)" ]; then
    echo "FAILED: Ctrl+C ended the run with $status, leaving: $(ls -A out/stopped 2>/dev/null)" >&2
    cat "$work/stop.out" >&2
    exit 1
fi
echo "== Windows: Ctrl+C stopped a run with status 130 and left nothing behind"

# In a console of a terminal, as Wine gives one to a program started from a shell: the
# program ends with its run (only a drop from Explorer waits for Enter), also with its
# standard input left open, and leaves the console's code page and modes as it found them
# (the tests of that skip where there is no console, as under ctest).
command -v script >/dev/null || fail "script (util-linux) is needed to give Wine a terminal"
status=0
timeout 60 script -qec "wine '$windows_bin/packsmith-cli.exe' --version" /dev/null >"$work/tty.out" 2>&1 \
    < <(sleep 120) || status=$?
[ "$status" -eq 0 ] || fail "packsmith-cli.exe --version in a terminal ended with $status: $(cat "$work/tty.out")"
status=0
(cd "$windows_bin" && timeout 300 script -qec \
    "wine cli_system_test.exe --gtest_color=no --gtest_filter=CliSystemWindows.TheConsoleIsLeftAsItWasFound" /dev/null) \
    >"$work/tty.out" 2>&1 < <(sleep 600) || status=$?
# Wine's console draws each character with escapes of its own around it.
sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' "$work/tty.out" | tr -d ' \r\n' | grep -q 'PASSED\]1test\.' && [ "$status" -eq 0 ] ||
    fail "the console's settings after the program, in a terminal: $(cat "$work/tty.out")"
echo "== Windows: in a terminal's console the program ends without waiting and leaves the console as it was"

# Files being written carry a hidden name and the hidden attribute. Wine takes every name
# with a "." in front for hidden unless told to show them, which would hide a missing
# attribute; so it is told, for this test alone.
shown="$(wine reg query 'HKCU\Software\Wine' /v ShowDotFiles 2>/dev/null | tr -d '\r' | grep -c ShowDotFiles || true)"
[ "$shown" -gt 0 ] || wine reg add 'HKCU\Software\Wine' /v ShowDotFiles /d Y /f >/dev/null 2>&1
wineserver -w
status=0
(cd "$windows_bin" && wine platform_test.exe --gtest_filter='*PendingFile*') >"$work/hidden.out" 2>&1 || status=$?
[ "$shown" -gt 0 ] || wine reg delete 'HKCU\Software\Wine' /v ShowDotFiles /f >/dev/null 2>&1
wineserver -w
[ "$status" -eq 0 ] || fail "files written under a hidden name: $(cat "$work/hidden.out")"
echo "== Windows: files written under a hidden name are hidden until named"
