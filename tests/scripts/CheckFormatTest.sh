#!/usr/bin/env bash
# scripts/check-format on a small tracked tree: it must name exactly the file
# off the format and fail, ignore untracked files, and pass once mended.
set -u
here=$(cd "$(dirname "$0")" && pwd)
check="$here/../../scripts/check-format"
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT

cd "$tree"
git init -q .
mkdir -p a
printf 'int f()\n{\n    return 1;\n}\n' > a/Good.cpp
printf '#pragma once\nint  g( ){return 2;}\n' > a/Drifted.h
printf 'int  h( ){return 3;}\n' > Untracked.cpp
git add a

out=$(bash "$check" "$tree"); rc=$?
expected="Off the format (.clang-format):
  a/Drifted.h
Mend with: clang-format-14 -i <file>..."
if [ $rc -ne 1 ] || [ "$out" != "$expected" ]; then
  echo "check-format on a drifted tree: exit $rc, output:"; echo "$out"; exit 1
fi

printf '#pragma once\nint g()\n{\n    return 2;\n}\n' > a/Drifted.h
out=$(bash "$check" "$tree"); rc=$?
if [ $rc -ne 0 ]; then
  echo "check-format on a mended tree: exit $rc, output:"; echo "$out"; exit 1
fi
