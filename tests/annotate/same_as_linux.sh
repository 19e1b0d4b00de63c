#!/usr/bin/env bash
# The Windows program, under Wine, annotates as the Linux program does, byte
# for byte: the worked example (with a table that knows its two numbers),
# the same file quoted and in place, and a large file of many numbers with
# the default table (read in pieces on two threads).
#
#   tests/annotate/same_as_linux.sh LINUX_BUILD WINDOWS_BUILD
set -euo pipefail
linux=$(realpath "$1")
windows=$(realpath "$2")
: "${WINEPREFIX:?set WINEPREFIX}"
export WINEDEBUG=${WINEDEBUG:--all}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "same_as_linux: $*" >&2; exit 1; }
sj() { printf '%s' "$1" | iconv -f UTF-8 -t CP932; }

mkdir "$work/linux" "$work/windows"
cp "$linux/nomvex" "$work/linux/"
cp "$windows/nomvex.exe" "$work/windows/"
# A key byte "A" keeps a line's text as it is.
table() { sj $'AVERSION=worked example\nAHDR=x\nA0901234=DoCoMo 関東\nA0801234=IDO 首都\n'; }
table >"$work/linux/Nomvex.dat"
table >"$work/windows/Nomvex.dat"

sj $'氏名,電話番号,備考\r\n山田,090-1234-5678,自宅 03-3333-4444\r\n鈴木,(080)1234-5678\r\n佐藤,080-1234-0000\r\n' >"$work/example.csv"
sj $'"氏名","電話番号"\r\n"山田","090-1234-5678"\r\n' >"$work/quoted.csv"
# Many lines, many numbers, over a megabyte: the file goes in pieces.
awk 'BEGIN { srand(14); for (i = 0; i < 60000; i++)
       printf "n%d,0%d0-%04d-%04d,x\r\n", i, int(rand() * 3) + 7, int(rand() * 10000), i % 10000 }' \
  >"$work/big.csv"

run_both() {  # NAME ARGS...: runs both programs in their folders on copies of the inputs
  local name=$1; shift
  for side in linux windows; do
    cp "$work/example.csv" "$work/quoted.csv" "$work/big.csv" "$work/$side/"
    local program=./nomvex
    [[ $side == windows ]] && program="wine ./nomvex.exe"
    (cd "$work/$side" && $program "$@") || fail "$name: $side exit status $?"
  done
}
same() {  # FILE: the two sides' FILE are the same bytes, and not empty
  cmp "$work/linux/$1" "$work/windows/$1" || fail "$1 differs"
  [[ -s $work/linux/$1 ]] || fail "$1 is empty"
}

run_both example example.csv example.out
same example.out
want=$(sj $'山田,090-1234-5678,自宅 03-3333-4444,DoCoMo,関東\r\n佐藤,080-1234-0000,au,関東\r\n'; echo x)
[[ $(cat "$work/windows/example.out"; echo x) == "$want" ]] || fail "the worked example is not as specified"

run_both quoted quoted.csv
same quoted.csv
same quoted.csv.bak

cp "$linux/Nomvex.dat" "$work/linux/Nomvex.dat"
cp "$windows/Nomvex.dat" "$work/windows/Nomvex.dat"
run_both big big.csv big.out
same big.out
echo "same_as_linux: the worked example, quoted in place and a large file are the same bytes"
