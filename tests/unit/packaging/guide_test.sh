#!/usr/bin/env bash
# guide_test.sh SOURCE_DIR
# The user guide in both languages: its anchors hold together, both files
# have the same sections, every kestrix-cli command of the README is in
# both, and nothing points outside resources/Help.
set -u
src=$1
help=$src/resources/Help
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}
ids() { grep -o ' id="[^"]*"' "$1" | sed 's/.*"\(.*\)"/\1/' | sort; }

# The commands of the README's table: the first word of each `...` in its first cell.
commands=$(sed -n '/^## Command-line front end/,/^## /p' "$src/README.md" | grep '^| `' |
    awk -F' [|] ' '{ sub(/^[|] /, "", $1); print $1 }' | grep -o '`[a-z-]*' | tr -d '`' | sort -u)
[ "$(wc -w <<<"$commands")" -ge 10 ] || fail "README's command table not found: '$commands'"

for page in index.html index-zh.html; do
    file=$help/$page
    [ -f "$file" ] || { fail "$page is missing"; continue; }
    [ -z "$(ids "$file" | uniq -d)" ] || fail "$page repeats ids: $(ids "$file" | uniq -d)"
    for ref in $(grep -o 'href="#[^"]*"' "$file" | sed 's/href="#\(.*\)"/\1/' | sort -u); do
        ids "$file" | grep -qxF "$ref" || fail "$page links to #$ref, which it does not have"
    done
    # Stylesheets and links to other files: only files of this folder.
    for target in $(grep -o '\(href\|src\)="[^#"][^"]*"' "$file" | sed 's/^[a-z]*="\([^"#]*\).*/\1/' | sort -u); do
        case $target in */* | *:*) fail "$page points outside the guide: $target" ;; esac
        [ -f "$help/$target" ] || fail "$page points to $target, which resources/Help does not hold"
    done
    for c in $commands; do
        grep -qE "<code>$c( |<)" "$file" || fail "$page does not mention kestrix-cli $c"
    done
done
[ "$(ids "$help/index.html")" = "$(ids "$help/index-zh.html")" ] ||
    fail "the two guides differ in their anchors: $(diff <(ids "$help/index.html") <(ids "$help/index-zh.html") | grep '^[<>]' | tr '\n' ' ')"

# The help menu opens these places (the language files name them).
for url in $(grep -ho '^[A-Za-z]*_url=Help/[^[:space:]]*' "$src"/resources/Languages/*.lng | cut -d= -f2); do
    page=${url#Help/} anchor=${page#*#} page=${page%%#*}
    ids "$help/$page" 2>/dev/null | grep -qxF "$anchor" || fail "the help menu opens $url, which does not exist"
done

[ "$failures" -eq 0 ] || { echo "$failures failures"; exit 1; }
echo "both guides hold together and name every command"
