#!/usr/bin/env bash
# Vim's :grep with kestrava-cli --vimgrep as grepprg fills the quickfix list with every match:
# its file, line and column, read by grepformat %f:%l:%c:%m without any change.
#   vim_quickfix_test.sh KESTRAVA_CLI
set -euo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/tree/src"
printf 'alpha\n\tkey = 1; key\n' >"$work/tree/a.txt"
printf 'none\nnone\nthe key\n' >"$work/tree/src/b.c"
cd "$work"
vim -es -N -u NONE -i NONE \
  -c "set grepprg=$cli\\ find\\ --vimgrep grepformat=%f:%l:%c:%m" \
  -c 'silent grep key tree' \
  -c 'call writefile(map(getqflist(), {_, e -> bufname(e.bufnr) . ":" . e.lnum . ":" . e.col . ":" . e.text}), "quickfix.txt")' \
  -c 'qa!' </dev/null || true
expected=$(printf '%s\n' 'tree/a.txt:2:2:	key = 1; key' 'tree/a.txt:2:11:	key = 1; key' 'tree/src/b.c:3:5:the key')
actual=$(cat quickfix.txt 2>/dev/null || true)
if [[ "$actual" != "$expected" ]]; then
  echo "quickfix list differs:"
  diff <(echo "$expected") <(echo "$actual") || true
  exit 1
fi
echo "vim quickfix: 3 entries as expected"
