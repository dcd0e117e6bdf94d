#!/bin/bash
# Sources quillory-cli's bash completion and checks what it offers for a few command lines:
# once in a plain bash, and once over the bash-completion package's helpers when they are here.
# Usage: bash_completion_test.sh COMPLETION-FILE
set -u
completion=$1
failures=0

# Completes the words of `line` (the last word is the one being typed) and prints the offers
# sorted, one line.
offers() {
    local line=$1
    read -r -a COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    _quillory_cli quillory-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}

expect() {
    local got
    got=$(offers "$1")
    if [[ $got != "$2" ]]; then
        echo "FAIL ($mode): '$1' offered '$got', expected '$2'"
        failures=$((failures + 1))
    fi
}

run_cases() {
    folder=$(mktemp -d)
    mkdir "$folder/games" "$folder/gantry"
    : >"$folder/pack.zip"
    : >"$folder/notes.txt"
    cd "$folder" || exit 1
    expect "quillory-cli " "--help --version gantry launch news query servers watch"
    expect "quillory-cli qu" "query"
    expect "quillory-cli gantry o" "offered"
    expect "quillory-cli gantry --data games s" "scan sync"
    expect "quillory-cli gantry sync --" "--help --only --password"
    expect "quillory-cli launch --dr" "--dry-run"
    expect "quillory-cli launch --game ga" "games gantry"
    expect "quillory-cli servers --game u" "uprising"
    expect "quillory-cli watch --duration " ""
    expect "quillory-cli watch --fr" "--friend"
    expect "quillory-cli watch --friend " ""
    expect "quillory-cli launch --wa" "--wait-for-slot"
    expect "quillory-cli gantry install " "games gantry pack.zip"
    cd / && rm -rf "$folder"
}

# shellcheck source=/dev/null
source "$completion"
complete -p quillory-cli >/dev/null || { echo "FAIL: no completion registered"; exit 1; }
mode=plain
run_cases

for helpers in /usr/share/bash-completion/bash_completion; do
    [[ -r $helpers ]] || continue
    # shellcheck source=/dev/null
    source "$helpers"
    source "$completion"
    mode=bash-completion
    run_cases
done

if ((failures > 0)); then
    exit 1
fi
echo "all completions as expected"
