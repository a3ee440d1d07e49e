# bash completion for vantorctl: commands, their options, record names and
# value names. The value names come from "vantorctl list --names", which
# reads nothing from the store and writes nothing, so the completion always
# follows the tool's own table.
_vantorctl_names() {
    local IFS=$'\n' name
    for name in $("$1" list --names $2 2>/dev/null); do
        printf '%s\n' "$name$3"
    done
}

# Quotes the completions that hold spaces ("User Name"), unless the word
# being completed is already in quotes.
_vantorctl_quote() {
    [[ $cur == [\"\']* ]] && return
    local i
    for i in "${!COMPREPLY[@]}"; do
        COMPREPLY[i]=$(printf '%q' "${COMPREPLY[i]}")
    done
}

_vantorctl() {
    local cur prev words cword
    _init_completion -n = || return

    local commands="show get set reset list swap create export import"
    local command="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
        --library | --registry) ((i++)) ;;
        -*) ;;
        *) command=${words[i]}; break ;;
        esac
    done

    case $prev in
    --library) _filedir 'so?(.*)'; return ;;
    --registry) _filedir reg; return ;;
    esac
    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "--library --registry --version --help" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        fi
        return
    fi

    local IFS=$'\n'
    case $command in
    show)
        COMPREPLY=($(compgen -W $'game\nkeys\n--json\n--help' -- "$cur"))
        ;;
    list)
        COMPREPLY=($(compgen -W $'game\nkeys\n--json\n--names\n--key-names\n--help' -- "$cur"))
        ;;
    get)
        COMPREPLY=($(compgen -W "$(_vantorctl_names "${words[0]}")"$'\n--json' -- "$cur"))
        _vantorctl_quote
        ;;
    reset)
        COMPREPLY=($(compgen -W $'game\nkeys\nall\n'"$(_vantorctl_names "${words[0]}")" -- "$cur"))
        _vantorctl_quote
        ;;
    swap)
        COMPREPLY=($(compgen -W "$(_vantorctl_names "${words[0]}" keys)" -- "$cur"))
        ;;
    set)
        COMPREPLY=($(compgen -W "$(_vantorctl_names "${words[0]}" "" =)" -- "$cur"))
        _vantorctl_quote
        compopt -o nospace
        ;;
    export)
        COMPREPLY=($(compgen -W $'game\nkeys\nall' -- "$cur"))
        _filedir reg
        ;;
    import)
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W $'--ignore-unknown\n--help' -- "$cur"))
        else
            _filedir reg
        fi
        ;;
    esac
} &&
    complete -F _vantorctl vantorctl
