# bash completion for orvanta-cli: its commands, each command's options, the
# ip-config modes, and .bit/.hex files where a command takes one.
_orvanta_cli()
{
    local cur prev words cword
    _init_completion || return

    local commands="list doctor force-ip ip-config write-param program history"
    if [[ $cword -eq 1 ]]; then
        COMPREPLY=($(compgen -W "$commands --help --help-all --version" -- "$cur"))
        return
    fi
    case $prev in
        --settings | --history)
            _filedir
            return ;;
        --dump-dir)
            _filedir -d
            return ;;
        -c | --camera | --interface | --ip | --mask | --gateway | --jobs | --since)
            return ;;
    esac

    local common="--help --json --verbose --interface --settings"
    local cameras="-c --camera --all --dry-run --history"
    local options
    case ${words[1]} in
        list) options="$common --details" ;;
        doctor) options="$common" ;;
        force-ip) options="$common $cameras --ip --mask --gateway" ;;
        ip-config) options="$common $cameras --ip --mask --gateway" ;;
        write-param) options="$common $cameras --jobs --dump-dir --changed-only" ;;
        program) options="$common $cameras --jobs --yes --changed-only" ;;
        history) options="--help --json --verbose -c --camera --since --history" ;;
        *) return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    case ${words[1]} in
        ip-config) COMPREPLY=($(compgen -W "static dhcp lla" -- "$cur")) ;;
        write-param) _filedir hex ;;
        program) _filedir bit ;;
    esac
} &&
    complete -F _orvanta_cli orvanta-cli
