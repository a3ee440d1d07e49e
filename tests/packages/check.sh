#!/bin/sh
# Usage: check.sh BUILD_DIR SCRATCH_DIR VERSION LIBDIR
# Checks the .deb packages and the .tar.gz in BUILD_DIR:
# - lintian reports no error and no warning (its overrides are in
#   cmake/debian/; informational tags are shown, and pass);
# - the packages hold what they should: stripped, the library in the
#   multiarch folder LIBDIR (below /usr) with a symbols file that matches its
#   exports, vantor.pc in plain paths, the store's folder owned by the
#   library's package; the archive holds no file of the Debian packages' own;
# - libvantor1, installed into a scratch root by dpkg, creates the machine's
#   store with the defaults; installed again it keeps every value set there
#   and adds only a missing key, and over a store that does not parse it
#   warns and leaves it; purged, it removes the store;
# - vantorctl, unpacked from either, finds its library and shows the
#   settings of a store of its own.
set -eu
build=$1 scratch=$2 version=$3 libdir=$4
rm -rf "$scratch"
mkdir -p "$scratch"
fail() { echo "FAIL: $*" >&2; exit 1; }

linted="lintian: no error, no warning"
for package in libvantor1 libvantor-dev vantorctl; do
    deb=$(find "$build" -maxdepth 1 -name "${package}_${version}-1_*.deb" | head -n 1)
    [ -n "$deb" ] || fail "no ${package}_${version}-1_*.deb in $build"
    if command -v lintian >/dev/null 2>&1; then
        lintian --fail-on error,warning --display-info "$deb" ||
            fail "lintian reports errors or warnings in $deb"
    else
        linted="lintian not found: not run (scripts/install-deps --test installs it)"
        echo "$linted"
    fi
    dpkg-deb -x "$deb" "$scratch/root"
    dpkg-deb -c "$deb" >"$scratch/$package.list"
    dpkg-deb -e "$deb" "$scratch/$package.control"
done

root=$scratch/root
grep -q " root/root .* ./var/lib/vantor/$" "$scratch/libvantor1.list" ||
    fail "libvantor1 does not own /var/lib/vantor"
for file in "usr/$libdir/libvantor.so.1" "usr/$libdir/libvantor.so" usr/include/vantor.h \
    "usr/$libdir/pkgconfig/vantor.pc" "usr/$libdir/cmake/vantor/vantorConfig.cmake" \
    usr/libexec/vantor/seed-store usr/bin/vantorctl usr/share/man/man1/vantorctl.1.gz \
    usr/share/bash-completion/completions/vantorctl usr/share/zsh/vendor-completions/_vantorctl \
    usr/share/fish/vendor_completions.d/vantorctl.fish \
    usr/share/doc/libvantor1/copyright usr/share/doc/vantorctl/changelog.Debian.gz; do
    [ -e "$root/$file" ] || fail "no /$file in the packages"
done
for binary in "$root/usr/$libdir/libvantor.so.1" "$root/usr/bin/vantorctl" \
    "$root/usr/libexec/vantor/seed-store"; do
    if readelf -S "$binary" | grep -q '\.debug_\|\.symtab'; then fail "$binary is not stripped"; fi
done
# The symbols file names exactly what the library exports.
library=$(readlink -f "$root/usr/$libdir/libvantor.so.1")
dpkg-gensymbols -v"$version-1" -plibvantor1 -P"$root" -e"$library" \
    -I"$scratch/libvantor1.control/symbols" -O/dev/null -c4 >"$scratch/symbols.diff" 2>&1 ||
    fail "the symbols file does not match the library's exports: $(cat "$scratch/symbols.diff")"
# vantor.pc names /usr in plain paths (a compiler must not get -I/usr/include).
for variable in includedir:/usr/include libdir:/usr/$libdir; do
    got=$(PKG_CONFIG_PATH=$root/usr/$libdir/pkgconfig pkg-config --variable="${variable%%:*}" vantor)
    [ "$got" = "${variable#*:}" ] || fail "vantor.pc: ${variable%%:*} is $got, not ${variable#*:}"
done

# libvantor1's install into a scratch root of dpkg's own (its maintainer
# scripts run outside a chroot, with DPKG_ROOT set), its helper loading the
# packaged library: the machine's store created, kept, then purged.
target=$scratch/target
hive=$target/var/lib/vantor/system.reg
mkdir -p "$target/var/lib/dpkg/info" "$target/var/lib/dpkg/updates"
: >"$target/var/lib/dpkg/status"
warned="the machine's settings were not created"
dpkg_in_target() {
    LD_LIBRARY_PATH=$target/usr/$libdir dpkg --root="$target" --force-script-chrootless \
        --force-depends --force-not-root "$@" >"$scratch/dpkg.log" 2>&1 ||
        fail "dpkg $*: $(cat "$scratch/dpkg.log")"
}
dpkg_in_target_quietly() {
    dpkg_in_target "$@"
    if grep -q "$warned" "$scratch/dpkg.log"; then fail "dpkg $*: $(cat "$scratch/dpkg.log")"; fi
}
deb=$(find "$build" -maxdepth 1 -name "libvantor1_${version}-1_*.deb" | head -n 1)
dpkg_in_target_quietly -i "$deb"
[ -f "$hive" ] || fail "installing libvantor1 made no machine's store ($hive)"
for key in Game Keyboard; do
    grep -q "^\[HKEY_LOCAL_MACHINE\\\\Software\\\\QUORIX\\\\$key\]" "$hive" ||
        fail "the store installing libvantor1 made lacks the key $key"
done
ctl=$root/usr/bin/vantorctl
VANTOR_REGISTRY=$hive "$ctl" get "Session Name" Fire >"$scratch/get.txt" ||
    fail "vantorctl cannot read the store installing libvantor1 made"
printf 'Tanks\nSpace\n' | cmp -s - "$scratch/get.txt" ||
    fail "the store installing libvantor1 made does not hold the defaults: $(cat "$scratch/get.txt")"
# An administrator's value, in a store that has lost its key bindings:
# installing again keeps the one and adds the other.
VANTOR_REGISTRY=$hive "$ctl" set Lives=3 "Session Name=LAN party" >/dev/null
awk '/^\[/ { skip = /Keyboard\]$/ } !skip' "$hive" >"$scratch/no-keys.reg"
cat "$scratch/no-keys.reg" >"$hive"
dpkg_in_target_quietly -i "$deb"
VANTOR_REGISTRY=$hive "$ctl" get Lives "Session Name" Fire >"$scratch/get.txt"
printf '3\nLAN party\nSpace\n' | cmp -s - "$scratch/get.txt" ||
    fail "installing libvantor1 again lost a value set or added no key: $(cat "$scratch/get.txt")"
# A store that does not parse: the install goes on, says so, and leaves it.
printf 'REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\n' >"$hive"
cp "$hive" "$scratch/corrupt.reg"
dpkg_in_target -i "$deb"
grep -q "$warned" "$scratch/dpkg.log" || fail "installing over a corrupt store warned of nothing"
cmp -s "$hive" "$scratch/corrupt.reg" || fail "installing over a corrupt store changed it"
dpkg_in_target --purge libvantor1
[ ! -e "$target/var/lib/vantor" ] || fail "purging libvantor1 left $(ls -A "$target/var/lib/vantor")"

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
debian_own=$(find "$scratch/tgz" -path '*/share/doc/*' -o -path '*/lintian/*')
[ -z "$debian_own" ] || fail "the Debian packages' own files are in $archive: $debian_own"
tool=$(find "$scratch/tgz" -path '*/bin/vantorctl' | head -n 1)
[ -n "$tool" ] || fail "no bin/vantorctl in $archive"
run "$tool" "$scratch/tgz.reg"
echo "packages: $linted; contents as expected; the machine's store made, kept and purged;" \
     "vantorctl runs from the .deb and the .tar.gz"
