# bash completion for kestrava-cli: commands, options, and the values of --view and --color.
# Self-contained (no bash-completion helpers needed), so it also works when sourced by hand.

_kestrava_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local command="" i
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
        find | replace | script | undo)
            command=${COMP_WORDS[i]}
            break
            ;;
        esac
    done

    # "=" is a word break by default: "--color=al" arrives as "--color" "=" "al".
    local option=$prev
    if [[ $cur == = ]]; then
        option=$prev
        cur=""
    elif [[ $prev == = && COMP_CWORD -ge 2 ]]; then
        option=${COMP_WORDS[COMP_CWORD - 2]}
    elif [[ $cur == --*=* ]]; then
        option=${cur%%=*}
        cur=${cur#*=}
    fi

    case $option in
    --view)
        mapfile -t COMPREPLY < <(compgen -W "lines matches unique unique-sorted" -- "$cur")
        return
        ;;
    --color)
        mapfile -t COMPREPLY < <(compgen -W "auto always never" -- "$cur")
        return
        ;;
    -d | --folders | --root-folder)
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        return
        ;;
    -f | --files | -e | --find | -r | --replace | -A | --after-context | -B | \
        --before-context | -C | --context | --threads)
        COMPREPLY=() # a mask, an expression, a template or a number: nothing to offer
        return
        ;;
    esac

    if [[ -z $command ]]; then
        local words="find replace script undo"
        [[ $cur == -* ]] && words="--help --version"
        mapfile -t COMPREPLY < <(compgen -W "$words" -- "$cur")
        return
    fi

    local shared="--help --view --case-sensitive -s --ignore-case -i --smart-case -S
        --fixed-strings -F --word-regexp -w --line-regexp -x --files-with-matches
        --filenames-only -l --count -c --null -0 --hidden --vimgrep --no-heading -H --only-matching -o --max-depth --colour= --no-header -n
        --line-number -A --after-context -B --before-context -C --context --skip-binary
        --respect-gitignore --rtf --json --color= -q --quiet --threads --verbose --version"
    local options
    case $command in
    find) options="-d --folders -f --files -g --glob -m --max-count -e --find --regexp $shared" ;;
    replace) options="-d --folders -f --files -g --glob -e --find --regexp -r --replace --in-situ --yes --preview --no-undo --interactive $shared" ;;
    script) options="--root-folder --in-situ --yes --preview --no-undo $shared" ;;
    undo) options="--help --list --force --yes" ;;
    esac

    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
        [[ ${COMPREPLY[*]} == *= ]] && compopt -o nospace 2>/dev/null
    elif [[ $command == script ]]; then
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -X '!*.ksc' -- "$cur"; compgen -d -- "$cur")
    fi
}

complete -F _kestrava_cli kestrava-cli
