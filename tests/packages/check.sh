#!/bin/sh
# Usage: check.sh BUILD_DIR SCRATCH_DIR VERSION LIBDIR
# Checks the .deb packages and the .tar.gz in BUILD_DIR: lintian reports no
# error; the packages hold what they should, stripped, the library in the
# multiarch folder LIBDIR (below /usr), the store's folder owned by the
# library's package; and vantorctl, unpacked from either, finds its library
# and shows the settings of a store of its own.
set -eu
build=$1 scratch=$2 version=$3 libdir=$4
rm -rf "$scratch"
mkdir -p "$scratch"
fail() { echo "FAIL: $*" >&2; exit 1; }

for package in libvantor1 libvantor-dev vantorctl; do
    deb=$(find "$build" -maxdepth 1 -name "${package}_${version}-1_*.deb" | head -n 1)
    [ -n "$deb" ] || fail "no ${package}_${version}-1_*.deb in $build"
    if command -v lintian >/dev/null 2>&1; then
        lintian --fail-on error "$deb" ||
            fail "lintian reports errors in $deb"
    else
        echo "lintian not found: not run (scripts/install-deps --test installs it)"
    fi
    dpkg-deb -x "$deb" "$scratch/root"
    dpkg-deb -c "$deb" >"$scratch/$package.list"
done

root=$scratch/root
grep -q " root/root .* ./var/lib/vantor/$" "$scratch/libvantor1.list" ||
    fail "libvantor1 does not own /var/lib/vantor"
for file in "usr/$libdir/libvantor.so.1" "usr/$libdir/libvantor.so" usr/include/vantor.h \
    "usr/$libdir/pkgconfig/vantor.pc" "usr/$libdir/cmake/vantor/vantorConfig.cmake" \
    usr/bin/vantorctl usr/share/man/man1/vantorctl.1.gz \
    usr/share/bash-completion/completions/vantorctl usr/share/zsh/vendor-completions/_vantorctl \
    usr/share/fish/vendor_completions.d/vantorctl.fish \
    usr/share/doc/libvantor1/copyright usr/share/doc/vantorctl/changelog.Debian.gz; do
    [ -e "$root/$file" ] || fail "no /$file in the packages"
done
for binary in "$root/usr/$libdir/libvantor.so.1" "$root/usr/bin/vantorctl"; do
    if readelf -S "$binary" | grep -q '\.debug_\|\.symtab'; then fail "$binary is not stripped"; fi
done

# vantorctl from the packages finds the library by its installed layout.
run() {
    tool=$1 store=$2
    VANTOR_REGISTRY=$store "$tool" --version >"$scratch/version.txt" ||
        fail "$tool --version failed"
    grep -q "^library $version " "$scratch/version.txt" || fail "$tool loads no library $version"
    VANTOR_REGISTRY=$store "$tool" show >"$scratch/show.txt" || fail "$tool show failed"
    grep -q "User Name  *Your Name Here" "$scratch/show.txt" || fail "$tool show shows no defaults"
}
run "$root/usr/bin/vantorctl" "$scratch/deb.reg"

archive=$(find "$build" -maxdepth 1 -name "vantor-${version}-*.tar.gz" | head -n 1)
[ -n "$archive" ] || fail "no vantor-${version}-*.tar.gz in $build"
mkdir -p "$scratch/tgz"
tar -xzf "$archive" -C "$scratch/tgz"
tool=$(find "$scratch/tgz" -path '*/bin/vantorctl' | head -n 1)
[ -n "$tool" ] || fail "no bin/vantorctl in $archive"
run "$tool" "$scratch/tgz.reg"
echo "packages: lintian clean, contents as expected, vantorctl runs from the .deb and the .tar.gz"
