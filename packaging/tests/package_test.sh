#!/usr/bin/env bash
# A packager's build: the programs alone, configured as Release with BUILD_TESTING off and
# the test and benchmark libraries hidden from CMake, in a folder of its own. Checks that
# only the programs are built, installs them into a temporary prefix and checks the
# installed files exactly, runs each installed program with --version, and checks the
# .deb's metadata and file list and the .tar.gz's file list, and the .deb with lintian,
# which must report no error and no warning.
set -euo pipefail
source=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
quiet() {  # quiet LOG COMMAND...: runs the command, showing its output only on failure
  local log=$1
  shift
  "$@" >"$log" 2>&1 || { cat "$log"; fail "$*"; }
}
same() {  # same WHAT EXPECTED ACTUAL
  [ "$2" = "$3" ] || { diff <(echo "$2") <(echo "$3") || true; fail "$1 differs (- expected, + actual)"; }
}

build=$work/build
quiet "$work/configure.log" cmake -S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DBUILD_TESTING=OFF -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON
quiet "$work/build.log" cmake --build "$build" -j 2

programs=$'quorvel\nquorvel-replay\nsennick'
same "the executables built" "$programs" \
  "$(find "$build" -path "$build/CMakeFiles" -prune -o -type f -perm -u+x -printf '%f\n' | sort)"

# What lands where, relative to the prefix.
expected=$(
  {
    sed 's|^|bin/|' <<<"$programs"
    sed 's|^\(.*\)$|share/man/man1/\1.1.gz|' <<<"$programs"
    printf 'share/doc/quorvel/%s\n' LICENSE README.md CHANGELOG.md copyright changelog.gz
    (cd "$source/docs" && find . -type f -printf 'share/doc/quorvel/%P\n')
    for edition in 42-44 45-and-later; do
      printf "share/quorvel/gnome-shell/$edition/quorvel-windows@quorvel/%s\n" extension.js metadata.json
    done
  } | sort
)

quiet "$work/install.log" cmake --install "$build" --prefix "$work/prefix"
same "the installed files" "$expected" "$(cd "$work/prefix" && find . -type f -printf '%P\n' | sort)"
for program in $programs; do
  same "$program --version" "$program $version" "$("$work/prefix/bin/$program" --version)"
  same "the manual page of $program" "$(cat "$source/man/$program.1")" "$(gzip -dc "$work/prefix/share/man/man1/$program.1.gz")"
done
same "the copyright file" "$(cat "$source/LICENSE")" "$(cat "$work/prefix/share/doc/quorvel/copyright")"

architecture=$(dpkg --print-architecture)
processor=$(uname -m)
(cd "$build" && quiet "$work/cpack.log" cpack -G "TGZ;DEB")
deb=$build/quorvel_${version}_$architecture.deb
tarball=$build/quorvel-$version-linux-$processor.tar.gz
[ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$build")"
[ -f "$tarball" ] || fail "no $(basename "$tarball"): $(ls "$build")"

same "the .deb's files" "$(sed 's|^|./usr/|' <<<"$expected")" \
  "$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sort)"
same "the .tar.gz's files" "$(sed "s|^|quorvel-$version-linux-$processor/|" <<<"$expected")" \
  "$(tar -tzf "$tarball" | grep -v '/$' | sort)"

same "the .deb's name, version and architecture" $'quorvel\n'"$version"$'\n'"$architecture" \
  "$(dpkg-deb --showformat='${Package}\n${Version}\n${Architecture}\n' --show "$deb")"
# Depends comes from the libraries the binaries link: each of these must be named, and
# nothing that only the tests or the build use.
depends=$(dpkg-deb --field "$deb" Depends)
for library in libc6 'libstdc\+\+6' libpulse0 libxcb1 libxcb-res0 libwayland-client0 libsystemd0 'libicu[0-9]+'; do
  grep -Eq "(^|, )$library( \([^)]+\))?(,|$)" <<<"$depends" || fail "Depends lacks $library: $depends"
done
grep -Eq 'gtest|benchmark|-dev' <<<"$depends" && fail "Depends names a build or test package: $depends"
same "the .deb's maintainer" "quorvel maintainers <maintainers@quorvel.invalid>" "$(dpkg-deb --field "$deb" Maintainer)"
same "the Debian change log's first line" "quorvel ($version) unstable; urgency=medium" \
  "$(dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/quorvel/changelog.gz | gzip -dc | head -n 1)"

# Debian's own checker, every tag shown; info and pedantic tags are let through.
lintian --fail-on error,warning --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || {
  cat "$work/lintian.log"; fail "lintian reports errors or warnings on $(basename "$deb")"; }
grep -E '^[EW]: ' "$work/lintian.log" && fail "lintian reports errors or warnings on $(basename "$deb")"

echo "installed $(wc -l <<<"$expected") files; packaged $(basename "$deb") (Depends: $depends; lintian: no error, no warning) and $(basename "$tarball")"
