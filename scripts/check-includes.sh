#!/usr/bin/env bash
# Checks that the includes of src/ point one way, from the process down to the runtime:
#   app 7 > ui 6 > framework 5 = skin 5 > clipboard 4 > protocol 3 > settings 2 > runtime 1
# A file may include files of its own folder or of a folder of lower rank ("back arrow"
# otherwise), and no file may reach itself through its includes ("circle"; X.h and X.cpp count
# as one file). Prints each offender and a count; exits 1 if there is any.
#   scripts/check-includes.sh   (the native tests run it first)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
edges=$(mktemp)
trap 'rm -f "$edges"' EXIT

cd "$root" || exit 2
arrows=$(grep -rHo '^#include "[a-z]*/[A-Za-z0-9_]*\.h"' src | awk -F'[:"/]' -v edges="$edges" '
  BEGIN { split("runtime 1 settings 2 protocol 3 clipboard 4 framework 5 skin 5 ui 6 app 7", r, " ")
          for (i = 1; i < 16; i += 2) rank[r[i]] = r[i + 1] }
  { f = $3; sub(/\.(cpp|h)$/, "", f); t = $6; sub(/\.h$/, "", t)
    if ($2 "/" f != $5 "/" t) print $2 "/" f, $5 "/" t > edges
    if ($2 != $5 && !(rank[$5] < rank[$2])) { print "back arrow: " $2 "/" $3 " -> " $5 "/" $6; n++ } }
  END { print n + 0 > "/dev/stderr" }' 2>"$edges.count")
count=$(cat "$edges.count"); rm -f "$edges.count"
[ -n "$arrows" ] && echo "$arrows"

# tsort names one file of each circle per line on stderr ("tsort: -: input contains a loop:"
# followed by the files of the loop). The loops it reports are not unique, so count their
# distinct sets of files.
circles=$(tsort "$edges" 2>&1 >/dev/null | awk '
  /input contains a loop/ { if (set != "") print set; set = ""; next }
  { sub(/^tsort: /, ""); set = set " " $0 }
  END { if (set != "") print set }' | while read -r line; do
    echo "$line" | tr ' ' '\n' | sort -u | tr '\n' ' '; echo; done | sort -u)
ncircles=0
while read -r c; do
  [ -z "$c" ] && continue
  echo "circle: $c"; ncircles=$((ncircles + 1))
done <<< "$circles"

echo "include graph: $count back arrows, $ncircles circles"
[ "$count" = 0 ] && [ "$ncircles" = 0 ]
