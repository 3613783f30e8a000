#!/bin/sh
# Every C++ file of the tree is formatted as .clang-format says, so that a
# change shows only what it changes. Lists the files that differ and how to
# fix them; skipped (77) where this machine's clang-format is not the major
# version the style was settled with, as another version formats otherwise.
#
#   format_test.sh SOURCE_DIR
set -u
cd "$1" || exit 1
settled=14
version=$(clang-format --version 2>/dev/null | sed -n 's/.*version \([0-9]*\)\..*/\1/p')
if [ "$version" != "$settled" ]; then
    echo "skipped: the format is checked with clang-format $settled; this machine has '${version:-none}'"
    exit 77
fi
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null)
if [ -z "$files" ]; then
    echo "skipped: $1 is not a git checkout, so there is no list of its files"
    exit 77
fi
differ=""
for file in $files; do
    clang-format --dry-run --Werror "$file" >/dev/null 2>&1 || differ="$differ $file"
done
[ -z "$differ" ] && exit 0
echo "not formatted as .clang-format says (clang-format -i FILE... fixes it):"
for file in $differ; do echo "  $file"; done
exit 1
