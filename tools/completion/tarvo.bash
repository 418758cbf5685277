# bash completion for tarvo: command words with the /dev/ttyUSB names that
# exist, the options of /Q and /G, and the state forms of /S and /F.

_tarvo_ports() {
  local dev
  for dev in /dev/ttyUSB*; do
    [[ -e $dev ]] && printf '%s\n' "${dev#/dev/}"
  done
}

_tarvo() {
  local cur prev words cword
  _init_completion -n : || return

  local states="1: 0: T: 1:ALL 0:ALL T:ALL B: H:"
  if [[ $cword -eq 1 ]]; then
    local ports word letter candidates="/Q /H"
    ports=$(_tarvo_ports)
    for letter in Q G S F P W D R; do
      if [[ -n $ports ]]; then
        for word in $ports; do candidates+=" /$letter:$word"; done
      else
        candidates+=" /$letter:ttyUSB"
      fi
    done
    COMPREPLY=($(compgen -W "$candidates" -- "$cur"))
    __ltrim_colon_completions "$cur"
    return
  fi

  local letter=${words[1]:1:1}
  case ${letter^^} in
    Q) [[ $cword -eq 2 ]] && COMPREPLY=($(compgen -W "-F" -- "$cur")) ;;
    G) [[ $cword -eq 2 ]] && COMPREPLY=($(compgen -W "-B -H" -- "$cur")) ;;
    S | F)
      # The states come second, or third after a password.
      if [[ $cword -le 3 ]]; then
        COMPREPLY=($(compgen -W "$states" -- "$cur"))
        __ltrim_colon_completions "$cur"
      fi
      ;;
  esac
}
complete -F _tarvo tarvo
