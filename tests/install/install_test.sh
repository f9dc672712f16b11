#!/bin/sh
# Installs the build into a scratch prefix and runs programs from there.
#   install_test.sh CMAKE BUILD_DIR
set -eu
cmake=$1 build=$2
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
cd "$prefix"
"$prefix/bin/peltra2" --version | grep -q '^peltra2 [0-9][0-9.]*'
[ -n "$("$prefix/bin/peltra2-scan" --help)" ]
# The scripts find their shared package beside them.
"$prefix/bin/peltra2-matrix" --version | grep -q '^peltra2-matrix [0-9][0-9.]*'
"$prefix/bin/peltra2-plot" --version | grep -q '^peltra2-plot [0-9][0-9.]*'
"$prefix/bin/make-example-vcf" --version | grep -q '^make-example-vcf [0-9][0-9.]*'
[ -s "$prefix/bin/peltra2tools/outputs.py" ]
[ -s "$prefix/bin/peltra2-version" ]
[ -s "$prefix/share/man/man1/peltra2.1" ]
echo "installed and ran from $prefix"
