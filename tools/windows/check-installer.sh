#!/usr/bin/env bash
# Checks the Windows packages as a user meets them, under Wine:
#  - the zip holds the programs, each carrying its version information, icon and manifest,
#    and the manifest gives a program UTF-8 as its code page;
#  - the installer, run silently with each PATH option (/S /ADD_TO_PATH=all, =user), puts the
#    programs under Program Files, the window in the Start Menu, the file types .wac, .was
#    and .at3 in the registry to open in it, its folder on the PATH (found there by a new
#    console) and an uninstall entry wearing the program's icon;
#  - the uninstaller, run silently, takes all that away again and nothing else: a file type
#    that belonged to another program before is given back, and the PATH is as it was.
#   tools/windows/check-installer.sh [BUILD]
# BUILD (default build-windows/build) holds the zip and the installer (cpack -G "ZIP;NSIS").
# Wine's prefix is WINEPREFIX when set, else the one tools/setup.sh makes; the packages are
# installed into it and taken out again.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
build="$(realpath "${1:-$root/build-windows/build}")"
if [ -z "${WINEPREFIX:-}" ]; then
    source "$root/tools/setup.sh"
    packsmith_wine_environment "$root"
fi
# Wine would otherwise copy the shortcut and the file types into this machine's own menus.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winemenubuilder.exe=d"

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
zip="$build/packsmith-$version-windows-x64.zip"
installer="$build/packsmith-$version-windows-x64.exe"
for package in "$zip" "$installer"; do
    [ -f "$package" ] || { echo "error: no $package: make it first (cd $build && cpack)" >&2; exit 1; }
done
# The programs the packages must hold (the window where it was built), as CMake wrote them.
mapfile -t programs < "$build/packaging/programs.txt"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "error: $*" >&2
    failures=$((failures + 1))
}
expect() { # WHAT EXPECTED FOUND
    [ "$2" = "$3" ] || fail "$1 is '$3', not '$2'"
}

# reg_value KEY [NAME]: the value (the key's default without NAME); fails where there is none.
# Any other failure of reg is told, so that it is not taken for a value missing.
reg_value() {
    local out status=0
    if [ $# -eq 1 ]; then
        out="$(wine reg query "$1" /ve 2>"$scratch/reg.err")" || status=$?
    else
        out="$(wine reg query "$1" /v "$2" 2>"$scratch/reg.err")" || status=$?
    fi
    if [ "$status" -ne 0 ]; then
        # (reg tells of a key or value not there on its standard output.)
        printf '%s\n' "$out" | grep -q "Unable to find" ||
            echo "warning: reg query $* ended with status $status: $out $(tr -d '\r' < "$scratch/reg.err")" >&2
        return 1
    fi
    out="$(printf '%s\n' "$out" | tr -d '\r' | awk -F '    ' 'NF >= 3 && $3 ~ /^REG_/ { print $4; exit }')"
    [ "$out" != "(value not set)" ] || return 1
    printf '%s\n' "$out"
}
reg_key_exists() { wine reg query "$1" >/dev/null 2>&1; }

echo "== the zip"
(cd "$scratch" && python3 -m zipfile -e "$zip" zip)
unpacked="$scratch/zip/packsmith-$version-windows-x64"
for program in "${programs[@]}"; do
    [ -f "$unpacked/$program" ] || fail "the zip lacks $program"
done
resources=("$unpacked/packsmith-cli.exe")
[[ " ${programs[*]} " = *" packsmith.exe "* ]] && resources+=(--window "$unpacked/packsmith.exe")
python3 "$root/tools/windows/check_resources.py" "$version" "${resources[@]}" || fail "resources of the programs"

echo "== the manifest under Wine"
# A program carrying the command line's own manifest, and one carrying none, say which code
# page they run with.
cat > "$scratch/codepage.c" <<'EOF'
#include <stdio.h>
#include <windows.h>
int main(void) { printf("%u\n", GetACP()); return 0; }
EOF
python3 "$root/tools/windows/check_resources.py" --manifest "$unpacked/packsmith-cli.exe" > "$scratch/shipped.manifest"
echo '1 24 "shipped.manifest"' > "$scratch/manifest.rc"
(cd "$scratch" && x86_64-w64-mingw32-windres manifest.rc -O coff -o manifest.o &&
    x86_64-w64-mingw32-gcc -O2 codepage.c manifest.o -o with-manifest.exe &&
    x86_64-w64-mingw32-gcc -O2 codepage.c -o without-manifest.exe)
with="$(wine "$scratch/with-manifest.exe" | tr -d '\r')"
without="$(wine "$scratch/without-manifest.exe" | tr -d '\r')"
echo "active code page: $with with the manifest, $without without"
expect "the active code page under the manifest" 65001 "$with"
[ "$without" != 65001 ] || fail "the code page probe sees UTF-8 without a manifest too: it proves nothing"

installed_windows='C:\Program Files\Packsmith'
installed="$WINEPREFIX/drive_c/Program Files/Packsmith"
start_menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs"
classes='HKLM\Software\Classes'
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Packsmith'
machine_environment='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment'
user_environment='HKCU\Environment'
command="\"$installed_windows\\packsmith.exe\" \"%1\""
descriptions=("wac:Packed game sound" "was:Packed game music" "at3:Game image pack")

# path_entries KEY: the PATH of KEY, one entry a line ("<none>" where there is no PATH).
path_entries() { reg_value "$1" Path | tr ';' '\n' || echo "<none>"; }

# The checks install, register .was for another program and take all of it away again: the
# prefix must hold none of it to begin with.
if [ -e "$installed" ] || reg_key_exists "$uninstall_key" || reg_key_exists "$classes\\.was"; then
    echo "error: Wine's prefix $WINEPREFIX holds Packsmith or .was already: uninstall it first" >&2
    exit 1
fi

echo "== the installer with an option it does not know"
status=0
wine "$installer" /S /ADD_TO_PATH=everywhere || status=$?
wineserver -w
expect "the installer's status for /ADD_TO_PATH=everywhere" 2 "$status"
[ ! -e "$installed" ] || fail "the installer refused its option but installed into $installed"
reg_key_exists "$uninstall_key" && fail "the installer refused its option but made an uninstall entry"

# "long": the user's PATH is longer than the installer can hold, and must be left whole.
for round in all user long; do
    scope="${round/long/user}"
    note=""
    [ "$round" = long ] && note=" (the user's PATH too long to change)"
    echo "== the installer: /S /ADD_TO_PATH=$scope$note"
    if [ "$scope" = all ]; then path_key="$machine_environment" other_key="$user_environment"
    else path_key="$user_environment" other_key="$machine_environment"; fi
    # .was belongs to another program before; the uninstaller gives it back.
    wine reg add "$classes\\.was" /ve /d Other.was /f >/dev/null
    # A user's PATH ending in ";" comes back as it was. (No empty entry in it: Wine's cmd
    # takes one for the end of the PATH.)
    if [ "$round" = user ]; then
        wine reg add "$user_environment" /v Path /t REG_EXPAND_SZ /d 'C:\Tools;%USERPROFILE%\bin;' /f >/dev/null
    elif [ "$round" = long ]; then
        long_path="$(for i in $(seq 60); do printf 'C:\\Tools\\Kit %02d\\bin;' "$i"; done)C:\Tools\last"
        wine reg add "$user_environment" /v Path /t REG_EXPAND_SZ /d "$long_path" /f >/dev/null
    fi
    machine_path_before="$(reg_value "$machine_environment" Path || echo "<none>")"
    user_path_before="$(reg_value "$user_environment" Path || echo "<none>")"

    wine "$installer" /S "/ADD_TO_PATH=$scope" || fail "the installer ended with status $?"
    wineserver -w
    if [ "$scope" = all ]; then
        # Once more over the installed copy, which it removes first.
        wine "$installer" /S "/ADD_TO_PATH=$scope" || fail "the installer over an installed copy ended with status $?"
        wineserver -w
    fi
    for program in "${programs[@]}" Uninstall.exe; do
        [ -f "$installed/$program" ] || fail "no $program in $installed"
    done
    # Under Wine the first start after an install has once in a few runs printed nothing; what
    # it said and its status are shown, and the start is tried once more before that fails.
    status=0
    found="$(wine "$installed/packsmith-cli.exe" --version 2>"$scratch/version.err" | tr -d '\r')" || status=$?
    if [ "$found" != "packsmith-cli $version" ]; then
        echo "warning: the installed program's first --version printed '$found' (status $status):" \
            "$(cat "$scratch/version.err")" >&2
        wineserver -w
        found="$(wine "$installed/packsmith-cli.exe" --version | tr -d '\r')"
    fi
    expect "the installed program's --version" "packsmith-cli $version" "$found"

    shortcut="$start_menu/Packsmith $version/Packsmith.lnk"
    if [ -f "$shortcut" ]; then
        # The shortcut names its target in the system's code page or in UTF-16.
        python3 - "$shortcut" "$installed_windows\\packsmith.exe" <<'EOF' || fail "the shortcut does not open $installed_windows\\packsmith.exe"
import sys
data = open(sys.argv[1], "rb").read().lower()
target = sys.argv[2].lower()
sys.exit(0 if target.encode("latin-1") in data or target.encode("utf-16-le") in data else 1)
EOF
    else
        fail "no Start Menu shortcut $shortcut"
    fi

    for entry in "${descriptions[@]}"; do
        extension="${entry%%:*}" description="${entry#*:}"
        progid="Packsmith.$extension"
        expect ".$extension's type" "$progid" "$(reg_value "$classes\\.$extension" || true)"
        reg_value "$classes\\.$extension\\OpenWithProgids" "$progid" >/dev/null ||
            fail ".$extension is not offered to open with $progid"
        expect "$progid's description" "$description" "$(reg_value "$classes\\$progid" || true)"
        expect "$progid's icon" "$installed_windows\\packsmith.exe,0" "$(reg_value "$classes\\$progid\\DefaultIcon" || true)"
        expect "$progid's command" "$command" "$(reg_value "$classes\\$progid\\shell\\open\\command" || true)"
    done

    expect "the uninstall entry's name" "Packsmith $version" "$(reg_value "$uninstall_key" DisplayName || true)"
    icon="$(reg_value "$uninstall_key" DisplayIcon || true)"
    case "$icon" in
        "$installed_windows\\"*) [ -f "$installed/${icon#"$installed_windows\\"}" ] ||
            fail "the uninstall entry's icon $icon is not installed" ;;
        *) fail "the uninstall entry's icon is '$icon', not a program of $installed_windows" ;;
    esac

    if [ "$round" = long ]; then
        expect "the long PATH after installing" "$user_path_before" "$(reg_value "$user_environment" Path || echo "<none>")"
    else
        expect "the entries naming $installed_windows in the PATH of $path_key" 1 \
            "$(path_entries "$path_key" | grep -cxiF "$installed_windows" || true)"
        # A console started afresh finds the command line by its name alone.
        wineserver -w
        expect "'packsmith-cli --version' in a new console" "packsmith-cli $version" \
            "$(wine cmd /c "packsmith-cli --version" 2>/dev/null | tr -d '\r')"
    fi
    path_entries "$other_key" | grep -qxiF "$installed_windows" && fail "$installed_windows is on the PATH of $other_key too"

    echo "== the uninstaller"
    # It runs from a copy of itself; the prefix's server ends once that is done.
    wine "$installed/Uninstall.exe" /S || fail "the uninstaller ended with status $?"
    wineserver -w
    [ ! -e "$installed" ] || fail "$installed is still there"
    [ ! -e "$shortcut" ] || fail "the shortcut $shortcut is still there"
    [ ! -e "$(dirname "$shortcut")" ] || fail "the Start Menu folder $(dirname "$shortcut") is still there"
    for entry in "${descriptions[@]}"; do
        extension="${entry%%:*}"
        reg_key_exists "$classes\\Packsmith.$extension" && fail "the type Packsmith.$extension is still registered"
        reg_value "$classes\\.$extension\\OpenWithProgids" "Packsmith.$extension" >/dev/null &&
            fail ".$extension is still offered to open with Packsmith.$extension"
    done
    reg_key_exists "$classes\\.wac" && fail ".wac is still registered"
    reg_key_exists "$classes\\.at3" && fail ".at3 is still registered"
    expect "the type .was had before" Other.was "$(reg_value "$classes\\.was" || true)"
    expect "the machine's PATH after uninstalling" "$machine_path_before" \
        "$(reg_value "$machine_environment" Path || echo "<none>")"
    expect "the user's PATH after uninstalling" "$user_path_before" "$(reg_value "$user_environment" Path || echo "<none>")"
    reg_key_exists "$uninstall_key" && fail "the uninstall entry is still there"
    wine reg delete "$classes\\.was" /f >/dev/null
    if [ "$scope" = user ]; then wine reg delete "$user_environment" /v Path /f >/dev/null; fi
done

if [ "$failures" -ne 0 ]; then
    echo "check-installer: $failures failed" >&2
    exit 1
fi
echo "check-installer: the zip, the installer and the uninstaller do what they should"
