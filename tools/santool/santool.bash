# Bash completion for santool: commands, their options, and file names
# (".san" files where a film is asked for). Needs nothing but bash itself.
_santool_files() {  # files matching the extended pattern $1 (any file when empty), and folders
  local IFS=$'\n'
  compopt -o filenames 2>/dev/null
  if [[ -n $1 ]]; then
    COMPREPLY=($(compgen -d -- "$cur"; compgen -f -X "!$1" -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}

_santool() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  local commands="info export chk verify build font strings trace help"
  local command="" i
  for ((i = 1; i < COMP_CWORD; i++)); do
    case "${COMP_WORDS[i]}" in
      -*) ;;
      *) command="${COMP_WORDS[i]}"; break ;;
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
    --frames | --pictures-out)
      local IFS=$'\n'; compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -d -- "$cur")); return ;;
    --audio) _santool_files '*.@(wav|WAV)'; return ;;
    --strings) _santool_files '*.@(trs|TRS)'; return ;;
    --fonts) _santool_files '*.@(nut|NUT)'; return ;;
    --trace) _santool_files '*.jsonl'; return ;;
    -o | --output)
      case "$command" in
        build) _santool_files '*.@(san|SAN)' ;;
        font) _santool_files '*.@(nut|NUT)' ;;
        strings) _santool_files '*.@(trs|TRS)' ;;
        *) _santool_files '' ;;
      esac
      return ;;
    --from | --to | --first | --last) return ;;
    --scale) COMPREPLY=($(compgen -W "1 2 3 4 5 6 7 8" -- "$cur")); return ;;
  esac

  local options="--help"
  case "$command" in
    info) options+=" --json --frames" ;;
    export) options+=" --frames --audio --trace --strings --fonts --from --to --scale" ;;
    verify) options+=" --json" ;;
    build) options+=" --output --pictures-out" ;;
    font) options+=" --output --first --last" ;;
    strings) options+=" --output --scramble --dump" ;;
    help) COMPREPLY=($(compgen -W "$commands" -- "$cur")); return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
  elif [[ $command == info || $command == export || $command == chk || $command == verify ]]; then
    _santool_files '*.@(san|SAN)'
  elif [[ $command == build ]]; then
    _santool_files '*.json'
  elif [[ $command == font ]]; then
    _santool_files '*.@(psf|psf.gz|psfu|psfu.gz|bdf)'
  elif [[ $command == trace ]]; then
    _santool_files '*.jsonl'
  else
    _santool_files ''
  fi
}
shopt -s extglob
complete -F _santool santool
