# bash completion for quandrel: its options, the quandrel:// command URLs (with the desktop IDs
# of the installed applications for quandrel://app/), and PNG files where an option takes one.

_quandrel_urls()
{
    local action mode choice
    for action in leftHalf rightHalf topHalf bottomHalf topLeft topRight bottomLeft bottomRight \
        firstThird centerThird lastThird firstTwoThirds lastTwoThirds maximize almostMaximize \
        maximizeHeight center smaller larger restore nextDisplay previousDisplay; do
        echo "quandrel://window/$action"
    done
    for mode in area fullScreen window text repeatArea allDisplays; do
        echo "quandrel://capture/$mode"
        if [[ $1 == "quandrel://capture/$mode?"* ]]; then
            for choice in thumbnail editor edit pin copy save; do
                echo "quandrel://capture/$mode?then=$choice"
            done
            case $mode in fullScreen | allDisplays | window)
                for seconds in 3 5 10; do
                    echo "quandrel://capture/$mode?delay=$seconds"
                done ;;
            esac
        fi
    done
    echo quandrel://settings
    echo quandrel://pins/close
    echo quandrel://quit
    if [[ $1 == quandrel://app/* ]]; then
        local folder file
        local IFS=:
        for folder in ${XDG_DATA_HOME:-$HOME/.local/share} ${XDG_DATA_DIRS:-/usr/local/share:/usr/share}; do
            for file in "$folder"/applications/*.desktop; do
                [[ -e $file ]] || continue
                file=${file##*/}
                echo "quandrel://app/${file%.desktop}"
            done
        done
    fi
}

_quandrel()
{
    # The word as typed: bash splits it at ':' and '=', which URLs hold.
    local line=${COMP_LINE:0:COMP_POINT}
    local cur=${line##*[[:space:]]}
    local prev=${COMP_WORDS[COMP_CWORD-1]}
    local -a matches=()
    case $prev in
        --show-thumbnail | --pin)
            mapfile -t matches < <(compgen -f -X '!*.[pP][nN][gG]' -- "$cur"; compgen -d -- "$cur")
            COMPREPLY=("${matches[@]}")
            return
            ;;
    esac
    local word
    for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
        if [[ $word == --edit ]]; then
            mapfile -t matches < <(compgen -f -X '!*.[pP][nN][gG]' -- "$cur"; compgen -d -- "$cur")
            COMPREPLY=("${matches[@]}")
            return
        fi
        [[ $word == --quit || $word == --help || $word == -h || $word == --version || $word == --sway-bindings ]] && return
    done
    if [[ $cur == -* ]]; then
        mapfile -t matches < <(compgen -W '--help --version --quit --from-link --sway-bindings --edit --show-thumbnail --pin' -- "$cur")
    else
        mapfile -t matches < <(compgen -W "$(_quandrel_urls "$cur")" -- "$cur")
        # Only what follows the last word break is replaced.
        local breaks=${COMP_WORDBREAKS//[^:=]/}
        if [[ -n $breaks && $cur == *["$breaks"]* ]]; then
            local prefix=${cur%"${cur##*["$breaks"]}"}
            matches=("${matches[@]#"$prefix"}")
        fi
    fi
    COMPREPLY=("${matches[@]}")
}

complete -F _quandrel quandrel
