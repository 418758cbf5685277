# bash completion for tarvo: command words with the /dev/ttyUSB names that
# exist and, once the separator is typed, the stable names udev made under
# /dev/serial/by-id and /dev/serial/by-path; the options of /Q and /G, the
# state forms of /S and /F and the port forms of /C. Needs nothing from
# the bash-completion package; that package only loads it on demand
# (without it, source this file).

# Candidates are offered as they are, one each, never expanded: a link's
# name is anyone's text. Each goes onto the line quoted for the shell, so
# that the completed line names exactly that link and runs nothing.
_tarvo_offer() {  # the word so far, then the candidates
  local cur=$1 candidate
  shift
  for candidate; do
    [[ $candidate == "$cur"* ]] && COMPREPLY+=("$candidate")
  done
}

_tarvo() {
  # Words as typed, split at blanks only: bash itself also splits at ':'.
  local line=${COMP_LINE:0:COMP_POINT}
  local -a words candidates=()
  read -ra words <<<"$line"
  [[ -z $line || $line == *[[:blank:]] ]] && words+=("")
  local cword=$((${#words[@]} - 1))
  local cur=${words[cword]}
  COMPREPLY=()

  if [[ $cword -eq 1 ]]; then
    local -a ports=()
    local dev letter port link
    for dev in /dev/ttyUSB*; do
      [[ -e $dev ]] && ports+=("${dev#/dev/}")
    done
    [[ ${#ports[@]} -gt 0 ]] || ports=(ttyUSB)
    candidates=(/Q /H)
    # Command words are case-insensitive: offered in the case typed.
    for letter in Q G S F C P W D R; do
      [[ ${cur:1:1} == [a-z] ]] && letter=${letter,,}
      for port in "${ports[@]}"; do candidates+=("/$letter:$port"); done
    done
    # After "/G:" and the like: the hub by a name that stays the same.
    if [[ ${#cur} -ge 3 && ${cur:1:1} == [QGSFCPWDRqgsfcpwdr] ]]; then
      for link in /dev/serial/by-id/* /dev/serial/by-path/*; do
        [[ -L $link ]] && candidates+=("${cur:0:3}$link")
      done
    fi
  else
    local letter=${words[1]:1:1}
    case ${letter^^} in
      Q) [[ $cword -eq 2 ]] && candidates=(-F -J) ;;
      G) [[ $cword -eq 2 ]] && candidates=(-B -H -J) ;;
      S | F) [[ $cword -le 3 ]] && candidates=(1: 0: T: 1:ALL 0:ALL T:ALL B: H:) ;;
      C) [[ $cword -le 3 ]] && candidates=(ALL ALL@) ;;
    esac
  fi
  _tarvo_offer "$cur" "${candidates[@]}"
  # bash replaces only what follows the last ':' of the word.
  if [[ $cur == *:* && $COMP_WORDBREAKS == *:* ]]; then
    local before_colon=${cur%"${cur##*:}"}
    COMPREPLY=("${COMPREPLY[@]#"$before_colon"}")
  fi
  local i
  for i in "${!COMPREPLY[@]}"; do
    printf -v "COMPREPLY[i]" %q "${COMPREPLY[i]}"
  done
}
complete -F _tarvo tarvo
