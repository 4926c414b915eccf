#!/usr/bin/env bash
# vardis-cli's bash completion: sourced as bash-completion loads it, asked as
# bash asks it after a <TAB>, and held against vardis-cli --help.
# Usage: cli_completion_test.sh COMPLETION-FILE VARDIS-CLI
set -uo pipefail
completion=$1
cli=$2
failed=0
fail() {
  echo "FAILED: $*" >&2
  failed=1
}

# shellcheck source=/dev/null
source "$completion" || fail "source $completion"
[[ $(complete -p vardis-cli 2>/dev/null) == "complete -F _vardis_cli vardis-cli" ]] ||
  fail "complete -p vardis-cli: $(complete -p vardis-cli 2>&1)"

# What a <TAB> at the end of the line offers, sorted, one line.
offered() {
  local line=$1
  COMP_LINE=$line
  COMP_POINT=${#line}
  COMP_WORDBREAKS=$' \t\n"\'><=;|&(:'
  read -ra COMP_WORDS <<<"${line//=/ = }"
  [[ $line == *" " || $line == *"=" ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _vardis_cli vardis-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}
expect() {
  local got
  got=$(offered "$1")
  [[ $got == "$2" ]] || fail "'$1<TAB>' offers '$got', not '$2'"
}

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -p "$home/home" "$home/other"
# Keys in any case, CR LF lines; tel_7 lies past kol_uzlov, node 3 has no phone.
printf '[other]\r\ntel_9=ATD9\r\n[Baza]\r\nKOL_UZLOV=5\r\nTel_1=ATD+7900\r\ntel_2 = ATD2\r\ntel_5=ATD5\r\ntel_7=ATD7\r\n' \
  >"$home/home/gsm_csd.ini"
printf '[baza]\nkol_uzlov=3\n' >"$home/other/gsm_csd.ini"
export VARDIS_HOME=$home/home

expect "vardis-cli hi" "history"
expect "vardis-cli history " "clock daily hourly monthly params values visits"
expect "vardis-cli --format json history --from today " "clock daily hourly monthly params values visits"
expect "vardis-cli history daily " "$(offered "vardis-cli ")"
expect "vardis-cli consumption --by " "day month"
expect "vardis-cli --format=" "csv json"
expect "vardis-cli --format=j" "json"
expect "vardis-cli alarms --round l" "last"
expect "vardis-cli rounds --l" "--last"
expect "vardis-cli --node " "1 2 5"
expect "vardis-cli --gsm dial --node " "1 2 5"
expect "vardis-cli --gsm round --nodes 1," "1,1 1,2 1,5"
expect "vardis-cli --data-dir $home/other alarms --node " "1 2 3"
expect "vardis-cli --data-dir=$home/other --node " "1 2 3"
expect "vardis-cli --out $home/oth" "$home/other"
expect "vardis-cli --data-dir $home/h" "$home/home"
expect "vardis-cli --address " ""
VARDIS_HOME=$home/none expect "vardis-cli --node " ""

# Every command and option of the usage is offered: the commands at once, an
# option at once or after one of its commands.
usage=$("$cli" --help) || fail "$cli --help"
commands=$(sed -n '/^commands:/,$p' <<<"$usage" | sed -n 's/^  \([a-z][a-z-]*\).*/\1/p' | sort -u)
all=" $(offered "vardis-cli ") "
for c in $commands; do
  [[ $all == *" $c "* ]] || fail "command $c of the usage is not offered"
done
options=" $(offered "vardis-cli --")"
for c in $commands; do options+=" $(offered "vardis-cli $c --")"; done
for o in $(grep -o -- '--[a-z][a-z-]*' <<<"$usage" | sort -u); do
  [[ "$options " == *" $o "* ]] || fail "option $o of the usage is not offered"
done
[[ -n $commands ]] || fail "no commands in the usage"
exit $failed
