#!/bin/sh
# Usage: completion_test.sh SHELL TOOL_DIR SOURCE_DIR WORK
# Runs SHELL (bash, zsh or fish) interactively in a tmux of its own, with
# vantorctl's completion for it and TOOL_DIR (where vantorctl is) first on
# PATH; types partial vantorctl command lines, presses Tab, and checks the
# line the completion leaves. Exits 77, which CTest takes for a skipped
# test, when tmux, the shell or bash-completion is missing.
set -u
shell=$1 tool_dir=$2 source=$3 work=$4
skip() { echo "skipped: $* (scripts/install-deps --test installs it)"; exit 77; }
command -v tmux >/dev/null 2>&1 || skip "no tmux"
command -v "$shell" >/dev/null 2>&1 || skip "no $shell"
bash_completion=/usr/share/bash-completion/bash_completion
[ "$shell" != bash ] || [ -r "$bash_completion" ] || skip "no bash-completion"

rm -rf "$work"
mkdir -p "$work"
socket=$work/tmux.socket
tmux() { command tmux -S "$socket" -f /dev/null "$@"; }
trap 'tmux kill-server 2>/dev/null' EXIT
completions=$source/tools/vantorctl

# The shell, with nothing of the user's: its completion, a plain prompt, no
# suggestions drawn after the cursor.
case $shell in
bash)
    start="bash --norc --noprofile -i"
    setup=". $bash_completion; . $completions/vantorctl.bash; PS1='$ '"
    ;;
zsh)
    start="zsh -f -i"
    setup="fpath=($completions \$fpath); autoload -Uz compinit; compinit -u -d $work/zcompdump; PS1='$ '"
    ;;
fish)
    start="fish --no-config -i"
    setup="source $completions/vantorctl.fish; function fish_prompt; echo '$ '; end; set -g fish_autosuggestion_enabled 0"
    ;;
*)
    echo "unknown shell $shell" >&2
    exit 2
    ;;
esac
tmux new-session -d -x 160 -y 40 env HOME="$work" XDG_CONFIG_HOME="$work" \
    XDG_DATA_HOME="$work" PATH="$tool_dir:$PATH" VANTOR_REGISTRY="$work/store.reg" \
    TERM=screen $start || exit 1
tmux send-keys -l "$setup" && tmux send-keys Enter && tmux send-keys C-l

# line TYPED EXPECTED [AFTER]: types TYPED, Tab, then AFTER; the prompt's
# line must become EXPECTED (give or take trailing spaces) within 15
# seconds.
failed=0
line() {
    tmux send-keys -l "$1" && tmux send-keys Tab
    [ -z "${3:-}" ] || tmux send-keys -l "$3"
    tries=0
    while :; do
        got=$(tmux capture-pane -p | grep '^\$ vantorctl' | tail -n 1 | sed 's/ *$//')
        [ "$got" = "\$ $2" ] && break
        tries=$((tries + 1))
        if [ $tries -ge 150 ]; then
            echo "FAIL: $shell: '$1' + Tab gave '$got', expected '\$ $2'; the pane:" >&2
            tmux capture-pane -p >&2
            failed=1
            break
        fi
        sleep 0.1
    done
    tmux send-keys C-u && tmux send-keys C-l
}

# A key binding's value: key names, in any case, and the line not mangled
# (once "Fire=" became "Fire=Fire=").
line "vantorctl set Fire=scr" "vantorctl set Fire=ScrollLock"
line "vantorctl set Fire=" "vantorctl set Fire=Q" Q
# A value name holding a space, quoted, waiting for its value.
line "vantorctl set User" "vantorctl set User\\ Name="
# The newer command, and the store a write goes to.
line "vantorctl unset Sess" "vantorctl unset Session\\ Name"
line "vantorctl set --mach" "vantorctl set --machine"
[ $failed = 0 ] && echo "$shell: completion as expected"
exit $failed
