#!/usr/bin/env bash
# Usage: dist_files_test.sh SOURCE_DIR BUILT_MAN_DIR KESTRAVA_CLI
# Checks what the install puts in place for desktops and shells; names each failure and ends
# with "N passed, N failed".
set -uo pipefail
src=$1 man_dir=$2 cli=$3
source "$(dirname "$0")/check.sh"

completions=$src/dist/completions
app=$src/src/ui/resources/org.kestrava.Kestrava

# desktop-file-validate prints hints without failing; a clean file prints nothing.
check "desktop entry validates" bash -c '[[ -z $(desktop-file-validate "$1" 2>&1) ]] ||
    { desktop-file-validate "$1"; false; }' _ "$app.desktop"
# AppStream 1.0 warns of a missing homepage, which the project does not have yet; 0.16 (Debian
# 12) knows no such check and refuses to be told of it.
metainfo_checks=()
appstream_version=$(appstreamcli --version | sed -n 's/^AppStream version: //p')
if dpkg --compare-versions "$appstream_version" ge 1.0; then
    metainfo_checks=(--override=url-homepage-missing=info)
fi
check "metainfo validates" appstreamcli validate --no-net "${metainfo_checks[@]}" "$app.metainfo.xml"

for page in kestrava.1 kestrava-cli.1; do
    check "man page $page renders without warnings" bash -c '
        warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$1" 2>&1 >/dev/null)
        [[ -z $warnings ]] || { echo "$warnings"; false; }' _ "$man_dir/$page"
done

check "bash completion parses" bash -n "$completions/kestrava-cli.bash"
check "zsh completion parses" zsh -n "$completions/_kestrava-cli"
check "fish completion parses" fish -n "$completions/kestrava-cli.fish"

# What bash offers for the words typed so far (the last one being completed).
bash_offers() {
    bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _kestrava_cli
             printf "%s\n" "${COMPREPLY[@]}"' _ "$completions/kestrava-cli.bash" "$@"
}
expect_offers() { # expect_offers "EXPECTED LINES" WORDS...
    local expected=$1
    shift
    [[ $(bash_offers "$@") == "$expected" ]] ||
        { echo "words: $*"; echo "offered: $(bash_offers "$@" | tr '\n' ' ')"; false; }
}
views=$'lines\nmatches\nunique\nunique-sorted'
check "bash offers the commands" expect_offers $'find\nreplace\nscript\nundo' kestrava-cli ""
check "bash offers the views" expect_offers "$views" kestrava-cli find -d x --view ""
check "bash offers the views in a script run" expect_offers "$views" kestrava-cli script --view ""
check "bash completes a view" expect_offers "unique-sorted" kestrava-cli find --view unique-
check "bash offers --color=WHEN" expect_offers $'auto\nalways' kestrava-cli find --color = a
check "bash offers --replace to replace only" expect_offers "--replace" kestrava-cli replace --repl
check "bash offers no --replace to find" expect_offers "" kestrava-cli find --repl
check "fish offers the views" bash -c '[[ $(fish -c "source $1; complete -C \"kestrava-cli find --view \"" |
    cut -f1) == "$2" ]]' _ "$completions/kestrava-cli.fish" "$views"

# Every long option of every command is in the man page and in each completion.
for command in find replace script undo; do
    mapfile -t options < <("$cli" "$command" --help | grep -oE -- '--[a-z][a-z-]+' | sort -u)
    check "kestrava-cli $command --help lists options" test "${#options[@]}" -gt 3
    for option in "${options[@]}"; do
        roff=${option//-/\\-}
        check "man page documents $command $option" grep -qF -- "$roff" "$src/dist/man/kestrava-cli.1.in"
        for file in kestrava-cli.bash _kestrava-cli kestrava-cli.fish; do
            word=$option
            [[ $file == *.fish ]] && word="-l ${option#--}"
            check "$file completes $command $option" grep -qF -- "$word" "$completions/$file"
        done
    done
done

echo "dist files: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
