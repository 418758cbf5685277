# bash completion for tarvo: command words with the /dev/ttyUSB names that
# exist and, once the separator is typed, the stable names udev made under
# /dev/serial/by-id and /dev/serial/by-path; the options of /Q and /G, the
# state forms of /S and /F and the port forms of /C. Needs nothing from the bash-completion package; that
# package only loads it on demand (without it, source this file).

_tarvo_ports() {
  local dev
  for dev in /dev/ttyUSB*; do
    [[ -e $dev ]] && printf '%s\n' "${dev#/dev/}"
  done
}

_tarvo_stable_names() {
  local link
  for link in /dev/serial/by-id/* /dev/serial/by-path/*; do
    [[ -L $link ]] && printf '%s\n' "$link"
  done
}

_tarvo() {
  # Words as typed, split at blanks only: bash itself also splits at ':'.
  local line=${COMP_LINE:0:COMP_POINT}
  local -a words
  read -ra words <<<"$line"
  [[ -z $line || $line == *[[:blank:]] ]] && words+=("")
  local cword=$((${#words[@]} - 1))
  local cur=${words[cword]}
  local candidates=""

  if [[ $cword -eq 1 ]]; then
    local ports word letter
    candidates="/Q /H"
    ports=$(_tarvo_ports)
    for letter in Q G S F C P W D R; do
      if [[ -n $ports ]]; then
        for word in $ports; do candidates+=" /$letter:$word"; done
      else
        candidates+=" /$letter:ttyUSB"
      fi
    done
    # After "/G:" and the like: the hub by a name that stays the same.
    if [[ ${#cur} -ge 3 && ${cur:1:1} == [QGSFCPWDRqgsfcpwdr] ]]; then
      for word in $(_tarvo_stable_names); do candidates+=" ${cur:0:3}$word"; done
    fi
  else
    local letter=${words[1]:1:1}
    case ${letter^^} in
      Q) [[ $cword -eq 2 ]] && candidates="-F -J" ;;
      G) [[ $cword -eq 2 ]] && candidates="-B -H -J" ;;
      S | F) [[ $cword -le 3 ]] && candidates="1: 0: T: 1:ALL 0:ALL T:ALL B: H:" ;;
      C) [[ $cword -le 3 ]] && candidates="ALL ALL@" ;;
    esac
  fi
  mapfile -t COMPREPLY < <(compgen -W "$candidates" -- "$cur")
  # bash replaces only what follows the last ':' of the word.
  if [[ $cur == *:* && $COMP_WORDBREAKS == *:* ]]; then
    local before_colon=${cur%"${cur##*:}"}
    COMPREPLY=("${COMPREPLY[@]#"$before_colon"}")
  fi
}
complete -F _tarvo tarvo
