# bash completion for packsmith-cli                                   -*- shell-script -*-

_packsmith_cli()
{
    local cur prev words cword
    _init_completion || return

    case $prev in
        -f)
            COMPREPLY=($(compgen -W 'wac was at3 lst log pack-wac pack-was' -- "$cur"))
            return
            ;;
        --pack)
            COMPREPLY=($(compgen -W 'wac was' -- "$cur"))
            return
            ;;
        -o)
            _filedir -d
            return
            ;;
        --like)
            # The source whose rate, channels and leading bytes a packed file takes.
            _filedir '@(wac|was)'
            return
            ;;
        --only)
            # A pattern of stored names: nothing to offer.
            return
            ;;
        -j)
            COMPREPLY=($(compgen -W "1 2 $(nproc 2>/dev/null)" -- "$cur"))
            return
            ;;
        --compress)
            COMPREPLY=($(compgen -W 'exact lossy raw' -- "$cur"))
            return
            ;;
        --help | -h | --version)
            return
            ;;
    esac

    # After "--" every word is a file, even one starting with "-".
    local i
    for ((i = 1; i < cword; i++)); do
        if [[ ${words[i]} == -- ]]; then
            _filedir
            return
        fi
    done

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '-f -j -o -q --pack --like --list --json --only --compress --help --version --' -- "$cur"))
        return
    fi

    # Offer the files the chosen direction reads: sound to pack with --pack or -f pack-*,
    # else packs, logs and project lists.
    local pack=
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
            --pack) pack=1 ;;
            -f) [[ ${words[i + 1]-} == pack-* ]] && pack=1 ;;
        esac
    done
    if [[ $pack ]]; then
        _filedir '@(wav|flac|ogg|oga|aif|aiff|au|caf|w64)'
    else
        _filedir '@(wac|was|at3|log|lst|wav)'
    fi
} &&
    complete -F _packsmith_cli packsmith-cli

# ex: filetype=sh
