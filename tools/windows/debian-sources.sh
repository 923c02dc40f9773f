# Debian's source packages for the Windows builds, fetched with `apt-get source` through a
# private sources list, leaving the machine's own lists alone. Sourced, not run.
#
#   debian_sources_fetch DIR PACKAGE...   unpacks each package's source into DIR (once)
#   debian_source_of DIR NAME             the directory of NAME's unpacked source in DIR

# The same archive and suite as the machine's own packages, for sources only: the address
# is the one the machine's apt configuration gives for its suite's main component (deb822
# .sources files, or one-line lists), never one written here.
debian_archive_of_suite() {
    local file
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        # Blocks of fields, a blank line between: the first whose suites and components fit.
        awk -v suite="$1" '
            function fits() { return types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " suite " ") && (" " comps " ") ~ / main / }
            function done() { if (uri != "" && fits()) { print uri, signed; exit 0 } uri = types = suites = comps = signed = "" }
            /^[ \t]*$/ { done(); next }
            /^[ \t]*#/ { next }
            tolower($1) == "types:" { $1 = ""; types = $0 }
            tolower($1) == "uris:" { uri = $2 }
            tolower($1) == "suites:" { $1 = ""; suites = $0 }
            tolower($1) == "components:" { $1 = ""; comps = $0 }
            tolower($1) == "signed-by:" { signed = $2 }
            END { done() }' "$file"
    done
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        # deb [options] URI suite components...
        sed -e 's/#.*//' -e 's/\[[^]]*\]//' "$file" |
            awk -v suite="$1" '$1 == "deb" && $3 == suite { for (i = 4; i <= NF; i++) if ($i == "main") { print $2; exit 0 } }'
    done
}

debian_sources_fetch() {
    local dir="$1"
    shift
    [ -f "$dir/.fetched" ] && return 0
    local suite archive keyring
    suite="$(. /etc/os-release && echo "$VERSION_CODENAME")"
    read -r archive keyring < <(debian_archive_of_suite "$suite" | head -n 1) || true
    if [ -z "${archive:-}" ]; then
        echo "error: the machine's apt configuration names no archive for $suite main; the sources come from there" >&2
        return 1
    fi
    mkdir -p "$dir/.apt/lists/partial"
    echo "deb-src [signed-by=${keyring:-/usr/share/keyrings/debian-archive-keyring.gpg}] $archive $suite main" \
        > "$dir/.apt/sources.list"
    local apt=(-o "Dir::Etc::SourceList=$dir/.apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
               -o "Dir::State::Lists=$dir/.apt/lists" -o APT::Sandbox::User=root)
    apt-get "${apt[@]}" update -qq &&
        (cd "$dir" && apt-get "${apt[@]}" source -qq "$@") &&
        touch "$dir/.fetched"
}

debian_source_of() {
    find "$1" -maxdepth 1 -mindepth 1 -type d -name "$2-*" | head -n 1
}
