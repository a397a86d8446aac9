# bash completion for tarsun-cli: commands, options, setting names, folders.
_tarsun_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]} command="" word
    for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
        case $word in show|get|set|history|undo) command=$word; break ;; esac
    done
    local options="--quiet -q --help -h"
    local names="sv.soldierFriendlyFire sv.vehicleFriendlyFire sv.soldierSplashFriendlyFire
        sv.vehicleSplashFriendlyFire aiSettings.setMaxNBots aiSettings.setBotSkill"
    case $command in
        "") options+=" --version"
            COMPREPLY=($(compgen -W "show get set history undo $options" -- "$cur")); return ;;
        history) names="" ;;
        undo) options+=" --mods"; names="" ;;
        show) options+=" --json --mods" ;;
        get) options+=" --json --mods --mod -m" ;;
        set) options+=" --mods --from --dry-run --keep-going --json"
            [[ $prev == --from ]] && { COMPREPLY=($(compgen -f -- "$cur")); return; }
            names=$(printf '%s= ' $names) ;;
    esac
    case $prev in --mods|--mod|-m) COMPREPLY=($(compgen -d -- "$cur")); return ;; esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    else
        COMPREPLY=($(compgen -d -- "$cur") $(compgen -W "$names" -- "$cur"))
    fi
}
complete -o nospace -o filenames -F _tarsun_cli tarsun-cli
