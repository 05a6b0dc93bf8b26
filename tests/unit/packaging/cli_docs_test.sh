#!/usr/bin/env bash
# cli_docs_test.sh SOURCE_DIR
set -u
src=$1
man_page=$src/resources/man/kestrix-cli.1
completion=$src/resources/completion/kestrix-cli
options_cpp=$src/tools/cli/cli_options.cpp
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# What the command line knows, read from its parser.
commands=$(grep -o '{Command::k[A-Za-z]*, "[a-z-]*"}' "$options_cpp" | sed 's/.*"\(.*\)"}/\1/')
options=$(grep -o 'word == "--[a-z0-9-]*"' "$options_cpp" | sed 's/.*"\(.*\)"/\1/' | sort -u)
# The options of bridge and configure, which have parsers of their own.
own_options=$(sed -n '/kSingleOptions = {/,/};/p' "$src/tools/cli/bridge_options.cpp"
    sed -n '/kOrder = {/,/};/p' "$src/tools/cli/configure_edits.cpp")
own_options=$(grep -o '"--[a-z0-9-]*"' <<<"$own_options" | tr -d '"' | sort -u)
options=$(printf '%s\n' $options $own_options | sort -u)
[ -n "$own_options" ] || fail "no bridge or configure options found"
[ -n "$commands" ] || fail "no commands found in $options_cpp"
[ -n "$options" ] || fail "no options found in $options_cpp"

# The page renders, without warnings, and names each of them.
rendered=$(MANWIDTH=100 man --warnings -l "$man_page" 2>/tmp/kx-man-warnings.$$)
[ -s /tmp/kx-man-warnings.$$ ] && fail "man warns: $(cat /tmp/kx-man-warnings.$$)"
rm -f /tmp/kx-man-warnings.$$
plain=$(printf '%s\n' "$rendered" | sed 's/\x1b\[[0-9;]*m//g; s/.\x08//g; s/‐/-/g')
for word in $commands $options; do
    grep -qF -- "$word" <<<"$plain" || fail "man page does not mention $word"
done
for section in "EXIT STATUS" "OUTPUT" "FILES"; do
    grep -q "^$section" <<<"$plain" || fail "man page has no $section section"
done

# The completion offers each command and each option somewhere.
all_offered=$(grep -o -- '--[a-z0-9-]*\|\b[a-z][a-z-]*\b' "$completion" | sort -u)
for word in $commands $options; do
    grep -qxF -- "$word" <<<"$all_offered" || fail "completion does not know $word"
done

# And completes: line typed so far (cursor at its end) -> words offered.
# shellcheck source=/dev/null
source "$completion"
complete_line() {
    local line=$1
    read -r -a COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    _kestrix_cli kestrix-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}
while IFS='|' read -r line expected; do
    [ -z "$line" ] && continue
    got=$(complete_line "$line")
    [ "$got" = "$expected" ] || fail "'$line' completes to '$got', not '$expected'"
done <<'CASES'
kestrix-cli re|reboot rename restore
kestrix-cli s|scan-neighbours search set-ip
kestrix-cli search --s|--seconds --sort
kestrix-cli search --sort u|uptime
kestrix-cli scan-neighbours --sort s|security signal ssid
kestrix-cli scan-neighbours --a|--adapter
kestrix-cli pxsync |off on
kestrix-cli pxsync on --a|--adapter --all
kestrix-cli reboot --y|--yes
kestrix-cli set-ip --d|--desc --dns1 --dns2
kestrix-cli channels --band |2.4 5
kestrix-cli channels --a|
kestrix-cli channels --d|--dfs
kestrix-cli --json re|reboot rename restore
kestrix-cli rename --mac |
kestrix-cli b|bridge bridge-transparent
kestrix-cli upgrade --f|--file --filter
kestrix-cli bridge --wep-format3 |ascii hex
kestrix-cli bridge --security |mixed none wep wpa-psk wpa2-psk
kestrix-cli configure --security |mixed none wep wpa wpa-psk wpa2 wpa2-psk
kestrix-cli configure --dfs |off on
kestrix-cli configure --days e|everyday
CASES

# Every command's completion offers --help.
for c in $commands; do
    got=$(complete_line "kestrix-cli $c --he")
    [ "$got" = "--help" ] || fail "'$c --he' completes to '$got'"
done

if [ "$failures" -ne 0 ]; then
    echo "$failures failures"
    exit 1
fi
echo "man page and completion agree with the command line"
