#!/usr/bin/env bash
# Writes the npm package @kestro/native from the release preset:
# build/package/kestro-native-<version>.tgz, with the four Node modules and the
# shared libraries they link under prebuilds/<platform>-<arch>/ and the
# typings. Installs what is missing and builds what the package needs first.
# An application installs it with `npm install <tarball>`.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release --target npm_package
version=$(node -p "require('./js/package.json').version")
mkdir -p build/package
cp "build/release/package/kestro-native-$version.tgz" build/package/
echo "build/package/kestro-native-$version.tgz"
