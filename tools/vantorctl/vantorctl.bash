# bash completion for vantorctl: commands, their options, record words, value
# names and, after a key binding's "NAME=", key names. The names come from
# the tool itself ("vantorctl list --names", "list --key-names --names"),
# which reads nothing from the store and writes nothing, so the completion
# always follows the tool's own tables.

# The names "list" prints with the options given, one a line.
_vantorctl_list() {
    "$_vantorctl_tool" list "$@" 2>/dev/null
}

# Sets COMPREPLY to the lines of $1 that start with $2, in any case, each
# followed by $3.
_vantorctl_match() {
    local IFS=$'\n' name prefix=${2,,}
    COMPREPLY=()
    for name in $1; do
        [[ ${name,,} == "$prefix"* ]] && COMPREPLY+=("$name$3")
    done
}

# Quotes the completions for the shell (User\ Name=, Fire=\;), unless the
# word being completed is already in quotes.
_vantorctl_quote() {
    [[ $cur == [\"\']* ]] && return
    local i
    for i in "${!COMPREPLY[@]}"; do
        COMPREPLY[i]=$(printf '%q' "${COMPREPLY[i]}")
    done
}

# A key binding's "NAME=VALUE" word: key names after the "=". Readline's
# word starts after the "=" where COMP_WORDBREAKS holds one, so the names
# are offered alone then, and with "NAME=" before them otherwise.
_vantorctl_key_value() {
    local name=${cur%%=*} value=${cur#*=} binding keys
    for binding in $(_vantorctl_list --names keys); do
        [[ ${binding,,} == "${name,,}" ]] && break
        binding=
    done
    COMPREPLY=()
    [[ -n $binding ]] || return
    keys=$(_vantorctl_list --key-names --names)
    # The Windows names only for a value that starts as they do.
    [[ ${value,,} == vk_* ]] || keys=$(grep -v '^VK_' <<<"$keys")
    _vantorctl_match "$keys" "$value"
    local i
    for i in "${!COMPREPLY[@]}"; do
        COMPREPLY[i]=$(printf '%q' "${COMPREPLY[i]}")
        [[ $COMP_WORDBREAKS == *=* ]] || COMPREPLY[i]=$name=${COMPREPLY[i]}
    done
}

_vantorctl() {
    local cur prev words cword
    _init_completion -n = || return
    local _vantorctl_tool=${words[0]}

    local commands="show get set reset unset list swap create export import edit"
    local command="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
        --library | --registry | --proton) ((i++)) ;;
        --wine-prefix)
            # Its folder is optional: a command name is the command.
            [[ " $commands " == *" ${words[i + 1]} "* ]] || ((i++))
            ;;
        -*) ;;
        *) command=${words[i]}; break ;;
        esac
    done

    case $prev in
    --library) _filedir 'so?(.*)'; return ;;
    --registry) _filedir reg; return ;;
    --wine-prefix)
        _filedir -d
        COMPREPLY+=($(compgen -W "$commands" -- "$cur"))
        return
        ;;
    --proton)
        # The games that have a Proton prefix in Steam's own library.
        local compatdata
        for compatdata in ~/.steam/steam/steamapps/compatdata ~/.local/share/Steam/steamapps/compatdata; do
            [[ -d $compatdata ]] && COMPREPLY+=($(compgen -W "$(command ls "$compatdata")" -- "$cur"))
        done
        return
        ;;
    esac
    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "--library --registry --wine-prefix --proton --version --help" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        fi
        return
    fi

    local IFS=$'\n'
    case $command in
    show)
        COMPREPLY=($(compgen -W $'game\nkeys\nall\n--changed\n--json\n--help' -- "$cur"))
        ;;
    list)
        COMPREPLY=($(compgen -W $'game\nkeys\nall\n--json\n--names\n--key-names\n--help' -- "$cur"))
        ;;
    get)
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W $'--json\n--help' -- "$cur"))
        else
            _vantorctl_match "$(_vantorctl_list --names)" "$cur"
            _vantorctl_quote
        fi
        ;;
    reset | unset)
        if [[ $cur == -* ]]; then
            [[ $command == reset ]] && COMPREPLY=($(compgen -W $'--machine\n--user\n--help' -- "$cur"))
            [[ $command == unset ]] && COMPREPLY=($(compgen -W $'--help' -- "$cur"))
        else
            _vantorctl_match $'game\nkeys\nall\n'"$(_vantorctl_list --names)" "$cur"
            _vantorctl_quote
        fi
        ;;
    swap)
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W $'--machine\n--user\n--help' -- "$cur"))
        else
            _vantorctl_match "$(_vantorctl_list --names keys)" "$cur"
        fi
        ;;
    edit)
        COMPREPLY=($(compgen -W $'--machine\n--user\n--help' -- "$cur"))
        ;;
    set)
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W $'--machine\n--user\n--help' -- "$cur"))
        elif [[ $cur == *=* ]]; then
            _vantorctl_key_value
        else
            _vantorctl_match "$(_vantorctl_list --names)" "$cur" =
            _vantorctl_quote
            compopt -o nospace
        fi
        ;;
    export)
        COMPREPLY=($(compgen -W $'game\nkeys\nall' -- "$cur"))
        _filedir reg
        ;;
    import)
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W $'--ignore-unknown\n--machine\n--user\n--help' -- "$cur"))
        else
            _filedir reg
        fi
        ;;
    esac
} &&
    complete -F _vantorctl vantorctl
