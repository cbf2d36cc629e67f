# bash completion for filespack: verbs, then each verb's options; files and folders elsewhere.
_filespack() {
    local cur prev verb
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    local verbs="create exe list test extract help"
    if [[ $COMP_CWORD -eq 1 ]]; then
        COMPREPLY=($(compgen -W "$verbs --help --version" -- "$cur"))
        return
    fi
    verb=${COMP_WORDS[1]}
    local options
    case $verb in
        create) options="--block-size --method --level --fast -r --recursive --skip-subfolders --mtime -q --quiet --help" ;;
        exe) options="--name --description --product-version --caption --resource-name --icon
                      --company --copyright --file-version --stub --package --block-size
                      --method --level
                      --skip-subfolders --mtime -q --quiet --help" ;;
        list) options="--resource --json --help" ;;
        test) options="--resource -q --quiet --json -j --threads --require-integrity --help" ;;
        extract) options="--resource -q --quiet --json -j --threads --require-integrity -o
                          --output --ignore-integrity --help" ;;
        help)
            [[ $COMP_CWORD -eq 2 ]] && COMPREPLY=($(compgen -W "create exe list test extract" -- "$cur"))
            return ;;
        *) return ;;
    esac
    case $prev in
        -o|--output) COMPREPLY=($(compgen -d -- "$cur")); return ;;
        --block-size) COMPREPLY=($(compgen -W "64Ki 200k 1M 4M" -- "$cur")); return ;;
        --method) COMPREPLY=($(compgen -W "classic zstd stream" -- "$cur")); return ;;
        --level) COMPREPLY=($(compgen -W "3 9 15 19 22" -- "$cur")); return ;;
        -j|--threads|--mtime|--name|--description|--product-version|--caption|--resource-name|\
        --company|--copyright|--file-version|--resource) return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    COMPREPLY=($(compgen -f -- "$cur"))
    compopt -o filenames 2>/dev/null
}
complete -F _filespack filespack
