#!/usr/bin/env bash
# Installs a build into a staging folder and checks what a desktop and a shell
# get from it: the programs, the desktop entry, the PSG file type, the
# AppStream metadata, the icon, the manual pages and the bash completion.
# The commands and options that `trelvane-cli --help` lists must all be in
# the manual page and the completion.
#   install_check.sh CMAKE BUILD_DIR STAGE_DIR APP_ID
set -uo pipefail
cmake=$1 build=$2 stage=$(realpath -m "$3") id=$4
export LC_ALL=C.UTF-8

failed=0
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
need() { command -v "$1" >/dev/null || fail "$1 is missing (scripts/deps.sh test installs it)"; }
# Runs a checker that must stay silent and succeed; shows what it said.
quiet() {
    local what=$1 out
    shift
    out=$("$@" 2>&1) && [ -z "$out" ] || fail "$what: $*${out:+
$out}"
}

rm -rf "$stage"
DESTDIR=$stage "$cmake" --install "$build" --prefix /usr >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
usr=$stage/usr
share=$usr/share
for tool in desktop-file-validate appstreamcli update-mime-database xmllint groff; do need "$tool"; done

# -- Every file where the desktop and the shell look for it.
for f in bin/trelvane bin/trelvane-cli; do
    [ -f "$usr/$f" ] && [ -x "$usr/$f" ] || fail "$f is not an executable file"
done
files=(applications/$id.desktop mime/packages/$id.xml metainfo/$id.metainfo.xml
       icons/hicolor/scalable/apps/$id.svg man/man1/trelvane.1.gz man/man1/trelvane-cli.1.gz
       bash-completion/completions/trelvane-cli)
for f in "${files[@]}"; do
    [ -s "$share/$f" ] || fail "share/$f is missing or empty"
done
[ -x "$usr/libexec/trelvane/trelvane-cli-draw" ] || fail "libexec/trelvane/trelvane-cli-draw (plot's helper) is missing"
[ "$failed" -eq 0 ] || { echo "$failed failed"; exit 1; }
desktop=$share/applications/$id.desktop
metainfo=$share/metainfo/$id.metainfo.xml
completion=$share/bash-completion/completions/trelvane-cli
cli=$usr/bin/trelvane-cli

# -- Desktop entry, metadata and icon, checked by the desktop's own tools and
# against one another.
quiet "desktop entry" desktop-file-validate "$desktop"
appstreamcli validate --no-net "$metainfo" >"$stage/appstream.log" 2>&1 ||
    fail "metainfo: $(cat "$stage/appstream.log")"
quiet "icon" xmllint --noout "$share/icons/hicolor/scalable/apps/$id.svg"
entry() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(entry Icon)" = "$id" ] || fail "desktop entry's Icon is '$(entry Icon)', not $id"
[ "$(entry Exec)" = trelvane ] || fail "desktop entry's Exec is '$(entry Exec)'"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
    fail "metainfo does not launch $id.desktop"
release=$(grep -o -m1 '<release version="[^"]*"' "$metainfo" | cut -d'"' -f2)
[ "$("$cli" --version)" = "trelvane-cli $release" ] ||
    fail "newest release in the metainfo is $release, but: $("$cli" --version)"

# -- trelvane-cli links no graphics: plot finds its helper in the installed
# layout and draws.
gui_libs=$(ldd "$usr/bin/trelvane-cli" | grep -E 'Qt6Gui|libEGL|libX11|fontconfig|dbus') &&
    fail "trelvane-cli links graphics libraries: $gui_libs"
printf 'PSG\x1a\0\0\0\0\0\0\0\0\0\0\0\0\x08\x0f\xff\xff' >"$stage/plot.psg"
"$usr/bin/trelvane-cli" plot "$stage/plot.psg" -o "$stage/plot.png" && [ "$(head -c 4 "$stage/plot.png" | tail -c 3)" = PNG ] ||
    fail "installed trelvane-cli plot draws no PNG"

# -- The file type: the database built from the installed XML knows the
# name and the first bytes of a PSG file. The program takes no file from
# its command line, so neither the desktop entry nor the metadata offers to
# open one.
quiet "MIME XML" xmllint --noout "$share/mime/packages/$id.xml"
mime=$stage/mime-database/mime
mkdir -p "$stage/mime-database"
cp -r "$share/mime" "$mime"
quiet "MIME database" env XDG_DATA_HOME="$stage/mime-database" XDG_DATA_DIRS="$stage/mime-database" \
    update-mime-database "$mime"
type=audio/x-psg
grep -qx "50:$type:\*\.psg" "$mime/globs2" || fail "$type: no *.psg glob"
grep -aq "^\[50:$type\]" "$mime/magic" || fail "$type: no magic"
grep -a -A1 "^\[50:$type\]" "$mime/magic" | grep -aq 'PSG' || fail "$type: magic does not look for PSG"
[ -z "$(entry MimeType)" ] || fail "desktop entry offers to open $(entry MimeType), but the program opens no file it is given"
grep -q '<mediatype>' "$metainfo" && fail "metainfo offers to open a media type"

# -- Manual pages: format without a warning.
for page in trelvane trelvane-cli; do
    zcat "$share/man/man1/$page.1.gz" >"$stage/$page.1" || fail "$page.1.gz is not gzip"
    quiet "$page.1" groff -man -Tutf8 -ww -z "$stage/$page.1"
    grep -q "^\.TH ${page^^} 1 " "$stage/$page.1" || fail "$page.1 has no .TH line"
done

# -- What `trelvane-cli --help` lists, in the manual page and the completion.
help=$("$cli" --help) || fail "trelvane-cli --help"
commands=$(sed -n '/^Commands:/,/^$/p' <<<"$help" | sed -n 's/^  \([a-z][a-z-]*\)\( .*\)\?$/\1/p')
options=$(grep -oE '(^|[[:space:][])--?[a-z][a-z-]*' <<<"$help" | tr -d ' [' | sort -u)
[ -n "$commands" ] && [ -n "$options" ] || fail "no commands or options read from --help"
# The words the page has an entry for: the first word of each .TP tag, with
# roff's escapes taken out.
entries=$(awk 'tag { print } { tag = ($0 == ".TP") }' "$stage/trelvane-cli.1" |
          sed -e 's/^\.[BIR]* //' -e 's/\\-/-/g' -e 's/\\f[BIRP]//g' -e 's/\\[&|]//g' | awk '{ print $1 }')
for word in $commands $options; do
    grep -qx -- "$word" <<<"$entries" || fail "trelvane-cli.1 has no entry for $word"
    grep -qE -- "(^|[^a-z-])$word([^a-z-]|$)" "$completion" || fail "completion does not know $word"
done

# -- The completion, loaded into bash: commands first, then the options of
# each command as its line in --help gives them, PSG files as input and any
# file after -o.
quiet "completion syntax" bash -n "$completion"
work=$stage/completion-folder
mkdir -p "$work/songs"
touch "$work/a.psg" "$work/B.PSG" "$work/notes.txt"
complete_line() {
    (cd "$work" && bash --norc --noprofile -c '
        source "$1" || exit 1
        function=$(complete -p trelvane-cli | sed -n "s/.*-F \([^ ]*\).*/\1/p")
        shift
        COMP_WORDS=(trelvane-cli "$@")
        COMP_CWORD=$#
        "$function"
        printf "%s\n" "${COMPREPLY[@]}" | sort' _ "$completion" "$@")
}
expect() {  # expect WORDS... gives OFFERED...
    local args=() want got
    while [ "$1" != gives ]; do args+=("$1"); shift; done
    shift
    want=$(printf '%s\n' "$@" | sort)
    got=$(complete_line "${args[@]}")
    [ "$got" = "$want" ] || fail "completing 'trelvane-cli ${args[*]}': got [$(echo $got)], want [$(echo $want)]"
}
got=$(complete_line "")
for command in $commands; do
    grep -qx "$command" <<<"$got" || fail "completion does not offer the command $command"
    synopsis=$(grep -E "^  $command( |$)" <<<"$help" | sed 's/   .*//')
    offered=$(complete_line "$command" x.psg -)
    for option in $(grep -oE '(^|[[:space:][])--?[a-z][a-z-]*' <<<"$synopsis" | tr -d ' ['); do
        grep -qx -- "$option" <<<"$offered" || fail "completion does not offer $option after $command"
    done
done
#      the words typed                   what must be offered
expect info ""                           gives a.psg B.PSG songs
expect save a.psg ""                     gives a.psg B.PSG songs
expect cut a.psg -o ""                   gives a.psg B.PSG notes.txt songs
expect cut a.psg --at 5 -                gives -o --no-state --help --
expect cut a.psg --no-state ""           gives a.psg B.PSG songs
expect find a.psg --window ""            gives
expect render --from = ""                gives
expect info -- -                         gives
expect bogus-command a                   gives a.psg
expect export a.psg --chip ""            gives ay ym
expect import ""                         gives songs

if [ "$failed" -ne 0 ]; then
    echo "$failed failed"
    exit 1
fi
echo "installed files checked in $stage"
