# fish completion for vantorctl: commands, their options, record words, value
# names and, after a key binding's "NAME=", key names. The names come from
# the tool itself ("vantorctl list --names", "list --key-names --names"),
# which reads nothing from the store and writes nothing.

# The lines "list" prints with the options given.
function __vantorctl_list
    set -l tool (commandline -opc)[1]
    $tool list $argv 2>/dev/null
end

# NAME=VALUE: value names with their "=", then after a key binding's "="
# the key names, with "NAME=" before them.
function __vantorctl_assignments
    set -l token (commandline -ct)
    if not string match -q -- '*=*' $token
        __vantorctl_list --names | string replace -r '$' =
        return
    end
    set -l name (string split -m 1 = -- $token)[1]
    set -l value (string split -m 1 = -- $token)[2]
    contains -- (string lower -- $name) (__vantorctl_list --names keys | string lower); or return
    set -l keys (__vantorctl_list --key-names --names)
    # The Windows names only for a value that starts as they do.
    string match -qi -- 'vk_*' $value; or set keys (string match -v -- 'VK_*' $keys)
    printf '%s\n' $name=$keys
end

set -l commands show get set reset unset list swap create export import edit
complete -c vantorctl -f
complete -c vantorctl -n "not __fish_seen_subcommand_from $commands" -l library -r -F -d 'The settings library to use'
complete -c vantorctl -n "not __fish_seen_subcommand_from $commands" -l registry -r -F -d 'One hive file in place of both'
complete -c vantorctl -n "not __fish_seen_subcommand_from $commands" -l wine-prefix -a '(__fish_complete_directories)' -d 'The settings in a Wine prefix'
complete -c vantorctl -n "not __fish_seen_subcommand_from $commands" -l proton -x -d 'The settings in the Proton prefix of a Steam game'
complete -c vantorctl -n "not __fish_seen_subcommand_from $commands" -l version -d 'Print the versions'
complete -c vantorctl -s h -l help -d 'Show help'

complete -c vantorctl -n "not __fish_seen_subcommand_from $commands" -a show -d 'Show the settings and key bindings'
complete -c vantorctl -n "not __fish_seen_subcommand_from $commands" -a get -d 'Print values, one a line'
complete -c vantorctl -n "not __fish_seen_subcommand_from $commands" -a set -d 'Change settings or key bindings'
complete -c vantorctl -n "not __fish_seen_subcommand_from $commands" -a reset -d 'Store the defaults'
complete -c vantorctl -n "not __fish_seen_subcommand_from $commands" -a unset -d 'Remove your own values: the machine\'s show'
complete -c vantorctl -n "not __fish_seen_subcommand_from $commands" -a list -d 'List every value'
complete -c vantorctl -n "not __fish_seen_subcommand_from $commands" -a swap -d 'Trade the keys of two key bindings'
complete -c vantorctl -n "not __fish_seen_subcommand_from $commands" -a create -d 'Create both keys at their defaults'
complete -c vantorctl -n "not __fish_seen_subcommand_from $commands" -a export -d 'Write the records as a .reg file'
complete -c vantorctl -n "not __fish_seen_subcommand_from $commands" -a import -d 'Read values from a .reg file'
complete -c vantorctl -n "not __fish_seen_subcommand_from $commands" -a edit -d 'Edit the settings in a text editor'

complete -c vantorctl -n "__fish_seen_subcommand_from show list" -a 'game keys all' -d Record
complete -c vantorctl -n "__fish_seen_subcommand_from show list get" -l json -d 'Print JSON'
complete -c vantorctl -n "__fish_seen_subcommand_from show" -l changed -d 'Only values off their defaults'
complete -c vantorctl -n "__fish_seen_subcommand_from list" -l names -d 'Print only the names'
complete -c vantorctl -n "__fish_seen_subcommand_from list" -l key-names -d 'Print the key names'
complete -c vantorctl -n "__fish_seen_subcommand_from get" -a '(__vantorctl_list --names)' -d Value
complete -c vantorctl -n "__fish_seen_subcommand_from reset unset" -a 'game keys all' -d Record
complete -c vantorctl -n "__fish_seen_subcommand_from reset unset" -a '(__vantorctl_list --names)' -d Value
complete -c vantorctl -n "__fish_seen_subcommand_from set reset swap import edit" -l machine -d 'Write to the machine\'s store'
complete -c vantorctl -n "__fish_seen_subcommand_from set reset swap import edit" -l user -d 'Write to your own store'
complete -c vantorctl -n "__fish_seen_subcommand_from swap" -a '(__vantorctl_list --names keys)' -d 'Key binding'
complete -c vantorctl -n "__fish_seen_subcommand_from set" -a '(__vantorctl_assignments)'
complete -c vantorctl -n "__fish_seen_subcommand_from export" -a 'game keys all' -d Record
complete -c vantorctl -n "__fish_seen_subcommand_from export import" -F
complete -c vantorctl -n "__fish_seen_subcommand_from import" -l ignore-unknown -d 'Skip what the game does not use'
