# Bash completion for santool: commands, their options, and file names
# (".san" files where a film is asked for).
_santool() {
  local cur prev words cword
  _init_completion || return

  local commands="info export chk verify help"
  local command="" i
  for ((i = 1; i < cword; i++)); do
    case "${words[i]}" in
      -*) ;;
      *) command="${words[i]}"; break ;;
    esac
  done

  if [[ -z $command ]]; then
    if [[ $cur == -* ]]; then
      COMPREPLY=($(compgen -W "--help --version" -- "$cur"))
    else
      COMPREPLY=($(compgen -W "$commands" -- "$cur"))
    fi
    return
  fi

  case "$prev" in
    --frames) _filedir -d; return ;;
    --audio) _filedir wav; return ;;
    --strings) _filedir '@(trs|TRS)'; return ;;
    --fonts) _filedir '@(nut|NUT)'; return ;;
    --from | --to) return ;;
    --scale) COMPREPLY=($(compgen -W "1 2 3 4 5 6 7 8" -- "$cur")); return ;;
  esac

  local options="--help"
  case "$command" in
    info) options+=" --json --frames" ;;
    export) options+=" --frames --audio --strings --fonts --from --to --scale" ;;
    verify) options+=" --json" ;;
    help) COMPREPLY=($(compgen -W "$commands" -- "$cur")); return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  elif [[ $command == info || $command == export ]]; then
    _filedir '@(san|SAN)'
  else
    _filedir
  fi
}
complete -F _santool santool
