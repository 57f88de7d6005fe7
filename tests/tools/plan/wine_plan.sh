#!/usr/bin/env bash
# The packaged tandrel-plan.exe under Wine against the Linux tool: one instance of each public
# set (u250, t60) and a shop's list with two stock lengths, kerf, head and a remnants file. The
# totals must agree (bars, new stock, bound, proven), and each bar of the Windows plan must fit
# and every piece be planned once: plans of equal value may differ in their bars.
#
#   tests/tools/plan/wine_plan.sh BUILD    # after scripts/package_windows.sh
#
# The Linux tool comes from build/default (built here when missing). Called by
# scripts/test_windows.sh, which has the Wine prefix and its server running.
set -euo pipefail
cd "$(dirname "$0")/../../.."
root=$PWD
build=$(realpath "$1")
. scripts/wine_env.sh
[ -n "${WINEPREFIX:-}" ] || wine_env "$build/wineprefix"

linux=$root/build/default
if [ ! -x "$linux/tools/plan/tandrel-plan" ]; then
    [ -f "$linux/CMakeCache.txt" ] || cmake --preset default -DTANDREL_WITH_QT=ON >/dev/null
    cmake --build "$linux" --target tandrel-plan -j2
fi
package=$(find "$build/package" -mindepth 1 -maxdepth 1 -type d -name 'Tandrel-*-win64' | head -1)
[ -x "$package/tandrel-plan.exe" ] || [ -f "$package/tandrel-plan.exe" ] ||
    { echo "no tandrel-plan.exe in the package" >&2; exit 1; }
data=${TANDREL_CUTTING_DATA:-$root/../shared/data/cutting}

work=$build/plan-wine
rm -rf "$work"
mkdir -p "$work"
cases=()
# An OR-Library instance as a list: one size a line; its capacity as the stock.
instance() {
    local file=$1 name=$2
    awk -v want="$name" '
        $1 == want { found = 1; getline; print $1 > "/dev/stderr"; n = $2; next }
        found && n > 0 { print $1; n--; if (n == 0) exit }' "$file" 2>"$work/$name.stock" >"$work/$name.txt"
    cases+=("$name|--stock $(cat "$work/$name.stock")|$name.txt|")
}
for set in u250:u250_00 t60:t60_00; do
    file=$data/falkenauer_${set%%:*}.txt
    if [ -f "$file" ]; then
        instance "$file" "${set#*:}"
    else
        echo "plan under Wine: no $file, the set is left out"
    fi
done
# A shop's list: 60 pieces of 12 sizes, two stock lengths, kerf, head, two remnants.
awk 'BEGIN { for (i = 0; i < 60; i++) printf "%d%s Деталь %d\n", 400 + (i % 12) * 173, (i % 5 == 0) ? ",5" : "", i % 12 }' \
    | iconv -f UTF-8 -t CP1251 >"$work/shop.txt"
printf 'R000001;2300\r\nR000002;1450,5\r\n' >"$work/rest.txt"
cases+=("shop|--stock 6000x8,4000 --kerf 4 --head 10 --min-remnant 500 --remnants rest.txt|shop.txt|rest.txt")

status=0
for entry in "${cases[@]}"; do
    IFS='|' read -r name options list remnants <<<"$entry"
    # shellcheck disable=SC2086
    (cd "$work" && "$linux/tools/plan/tandrel-plan" $options --time-limit 10 --csv "$list" >"$name.linux.csv")
    start=$SECONDS
    # shellcheck disable=SC2086
    (cd "$work" && wine "$package/tandrel-plan.exe" $options --time-limit 10 --csv "$list" \
        </dev/null >"$name.windows.csv" 2>"$name.windows.err") || {
        echo "plan under Wine: $name: tandrel-plan.exe failed: $(cat "$work/$name.windows.err")"
        status=1
        continue
    }
    seconds=$((SECONDS - start))
    python3 - "$work" "$name" "$options" "$list" "$remnants" "$seconds" <<'PY' || status=1
import sys
from collections import Counter
work, name, options, listname, remnants, seconds = sys.argv[1:7]
words = options.split()
opt = {words[i]: words[i + 1] for i in range(0, len(words) - 1, 2)}
tenths = lambda text: round(float(text.replace(",", ".")) * 10)
stock = set()
for entry in opt["--stock"].split(","):
    stock.add(tenths(entry.split("x")[0]))
kerf, head = tenths(opt.get("--kerf", "0")), tenths(opt.get("--head", "0"))
store = {}
if remnants:
    for line in open(f"{work}/{remnants}", encoding="cp1251"):
        if line.strip():
            rid, length = line.strip().split(";")
            store[rid] = tenths(length)
pieces = Counter()
for line in open(f"{work}/{listname}", encoding="cp1251"):
    if line.strip():
        pieces[tenths(line.split()[0])] += 1

def read(side):
    lines = open(f"{work}/{name}.{side}.csv", encoding="utf-8").read().split("\n")
    assert lines[-1] == "", f"{side}: the last line ends without LF"
    return [l.split(";") for l in lines[:-1]]

linux, windows = read("linux"), read("windows")
faults = []
if linux[-1][0] != "итого" or windows[-1][0] != "итого":
    faults.append("no total line")
elif linux[-1][1:3] + linux[-1][3:4] + linux[-1][5:] != windows[-1][1:3] + windows[-1][3:4] + windows[-1][5:]:
    faults.append(f"totals differ: Linux {linux[-1]}, Windows {windows[-1]}")
planned, used = Counter(), set()
for number, bar in enumerate(windows[:-1], 1):
    n, length, source, cut, leftover = bar
    length, leftover = tenths(length), tenths(leftover)
    cut = [tenths(p) for p in cut.split(" ")] if cut else []
    planned.update(cut)
    if source == "new":
        ok = length in stock
        trim = head
    else:
        ok = store.get(source) == length and source not in used
        used.add(source)
        trim = 0
    if not ok or int(n) != number or leftover < 0 or \
            trim + sum(cut) + len(cut) * kerf + leftover != length:
        faults.append(f"bar {number} does not fit: {bar}")
if planned != pieces:
    faults.append("the pieces planned are not the list's, once each")
if faults:
    print(f"plan under Wine: {name}: " + "; ".join(faults))
    sys.exit(1)
total = windows[-1]
print(f"plan under Wine: {name}: {total[1]} bars, new stock {total[2]} mm, bound {total[3]}, "
      f"proven {total[5]}, as on Linux; every bar fits ({seconds} s)")
PY
done
exit $status
