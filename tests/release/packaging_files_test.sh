#!/usr/bin/env bash
# Checks one of the files the package installs besides the binary, as the tools that read
# them do:
#   packaging_files_test.sh man SOURCE_DIR         the manual page renders without warnings
#   packaging_files_test.sh bash SOURCE_DIR        the bash completion loads and completes
#   packaging_files_test.sh zsh SOURCE_DIR         the zsh completion completes as bash's does
#   packaging_files_test.sh appstream METAINFO     appstreamcli validates the metainfo
#   packaging_files_test.sh desktop DESKTOP_FILE   desktop-file-validate accepts the entry
# A check whose tool is missing is skipped (77).
set -euo pipefail
check=$1 file=$2
need() { command -v "$1" >/dev/null || { echo "skipped: $1 is not installed"; exit 77; }; }
fail() { echo "FAILED: $*" >&2; exit 1; }

case $check in
man)
    need man
    warnings=$(MANWIDTH=80 man --warnings -l "$file/packaging/quandrel.1" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man warns: $warnings"
    text=$(MANWIDTH=80 man -l "$file/packaging/quandrel.1" 2>/dev/null)
    for section in NAME SYNOPSIS OPTIONS "COMMAND URLS" SESSIONS FILES "EXIT STATUS"; do
        grep -q "^$section" <<<"$text" || fail "no $section section"
    done
    echo "the manual page renders: $(wc -l <<<"$text") lines"
    ;;
bash)
    script="$file/packaging/completions/quandrel.bash"
    [ "$(bash -c "source '$script'; complete -p quandrel")" = "complete -F _quandrel quandrel" ] || fail "no completion for quandrel"
    # What a Tab after the line offers, as bash would call the function.
    complete_line() {
        bash -c '
            source "$1"
            COMP_LINE=$2 COMP_POINT=${#2}
            read -ra COMP_WORDS <<<"$COMP_LINE"
            [[ $COMP_LINE == *" " ]] && COMP_WORDS+=("")
            COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
            _quandrel
            printf "%s\n" "${COMPREPLY[@]}"' _ "$script" "$1"
    }
    failures=0
    while IFS='|' read -r line expected; do
        got=$(complete_line "$line" | tr '\n' ' ' | sed 's/ $//')
        if [ "$got" = "$expected" ]; then echo "ok: '$line' -> $got"; else echo "FAILED: '$line' -> '$got', not '$expected'" >&2; failures=$((failures + 1)); fi
    done <<'TABLE'
quandrel --q|--quit
quandrel --sh|--show-thumbnail
quandrel quandrel://window/left|//window/leftHalf
quandrel quandrel://capture/f|//capture/fullScreen
quandrel quandrel://capture/area?then=e|editor edit
quandrel quandrel://p|//pins/close
quandrel quandrel://q|//quit
quandrel --quit |
TABLE
    [ $failures -eq 0 ] || exit 1
    ;;
zsh)
    need zsh
    # The same URLs as the bash completion (its desktop IDs aside).
    from_bash=$(bash -c 'source "$1"; _quandrel_urls "quandrel://capture/area?"; _quandrel_urls "quandrel://capture/fullScreen?";
                         _quandrel_urls "quandrel://capture/window?"; _quandrel_urls "quandrel://capture/text?";
                         _quandrel_urls "quandrel://capture/repeatArea?"; _quandrel_urls "quandrel://capture/allDisplays?"' _ "$file/packaging/completions/quandrel.bash" | sort -u)
    # _quandrel calls _arguments, which only runs inside completion: take its URL list alone.
    from_zsh=$(XDG_DATA_HOME=/nonexistent XDG_DATA_DIRS=/nonexistent zsh -fc '
        compadd() { print -rl -- "${(@P)${@[-1]}}"; }
        _quandrel() { :; }
        eval "$(sed "/^_quandrel \"\\\$@\"/d" "$1")"
        _quandrel_urls' _ "$file/packaging/completions/_quandrel" | sort -u)
    [ -n "$from_zsh" ] || fail "the zsh completion offers no URLs"
    [ "$from_bash" = "$from_zsh" ] || fail "bash and zsh offer different URLs: $(diff <(echo "$from_bash") <(echo "$from_zsh") | grep '^[<>]' | tr '\n' ' ')"
    # Loaded by compinit for the command quandrel.
    home=$(mktemp -d)
    trap 'rm -rf "$home"' EXIT
    registered=$(HOME=$home zsh -fc 'fpath=("$1" $fpath); autoload -Uz compinit; compinit -u -D; print -r -- ${_comps[quandrel]}' _ "$file/packaging/completions")
    [ "$registered" = _quandrel ] || fail "compinit does not take _quandrel for quandrel ('$registered')"
    echo "zsh completes the same $(wc -l <<<"$from_zsh") URLs as bash"
    ;;
appstream)
    need appstreamcli
    appstreamcli validate --no-net --pedantic --explain "$file" || fail "appstreamcli refuses $file"
    ;;
desktop)
    need desktop-file-validate
    desktop-file-validate "$file" || fail "desktop-file-validate refuses $file"
    echo "the desktop entry is valid"
    ;;
*)
    echo "usage: packaging_files_test.sh man|bash|zsh|appstream|desktop FILE" >&2
    exit 2
    ;;
esac
