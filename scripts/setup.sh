#!/usr/bin/env bash
# Installs everything a fresh Debian 12 machine needs to build and test Velloran, and cross-builds
# the libraries that Debian ships no Windows build of. Idempotent and unattended: packages already
# present are not reinstalled, and the cross-built libraries are reused from the cache when the
# source versions and this recipe are unchanged.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
CACHE_ROOT=${VELLORAN_DEPS_CACHE:-$HOME/.cache/velloran-deps}
export DEBIAN_FRONTEND=noninteractive

log() { printf '[setup] %s\n' "$*"; }
as_root() { if [ "$(id -u)" = 0 ]; then "$@"; else sudo "$@"; fi; }
. "$here/apt_steps.sh"

PACKAGES=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix gcc-mingw-w64-i686-posix gcc-mingw-w64-x86-64-posix
  binutils-mingw-w64 mingw-w64-tools libz-mingw-w64-dev
  wine wine32 wine64 xvfb xauth x11-utils
  cmake ninja-build googletest make perl pkg-config file dpkg-dev rsync
  p7zip-full imagemagick fp-utils
  python3-pytest python3-aiosmtpd python3-pyftpdlib python3-openssl python3-asyncssh openssh-server vsftpd openssl
)

install_packages() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386
    need_update=1
  fi
  local missing=()
  for p in "${PACKAGES[@]}"; do
    local name=$p
    [ "$p" = wine32 ] && name=wine32:i386
    dpkg-query -W -f='${Status}' "$name" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ] || [ -n "${need_update:-}" ]; then
    log "installing: ${missing[*]}"
    apt_update_retrying
    apt_install_consistent "${missing[@]}"
  fi
}

# apt-get source needs deb-src entries for the machine's own suites. Their lists are updated on
# their own: apt keeps none of a suite's new lists when one of its binary indexes fails mid-sync,
# and the source index is what names the newest security sources.
ensure_deb_src() {
  local list=/etc/apt/sources.list.d/velloran-src.sources
  if [ ! -f "$list" ]; then
    log "adding deb-src entries"
    as_root tee "$list" >/dev/null <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  fi
  apt_update_retrying -o Dir::Etc::sourcelist="$list" -o Dir::Etc::sourceparts=- -o APT::Get::List-Cleanup=0
}

# Prints the source versions of a package, newest first.
source_versions() {
  apt-cache showsrc "$1" | awk '/^Package: /{p=$2} /^Version: /{if (p=="'"$1"'") print $2}' | sort -u -r -V
}

# Prints "URI name size sha256" for each file of source package $1 at version $2, as the source
# index lists them.
source_files() {
  apt-get source --print-uris -qq "$1=$2" 2>/dev/null | parse_source_uris
}

# apt-get source --print-uris lines: 'URI' name size SHA256:hash
parse_source_uris() {
  sed -n "s/^'\([^']*\)' \([^ ]*\) \([0-9][0-9]*\) SHA256:\([0-9a-f]\{64\}\)\$/\1 \2 \3 \4/p"
}

# Prints the quilt series of a Debian source as "patch strip-level" lines, in series order.
quilt_series() {
  local series=$1 name opt
  [ -f "$series" ] || return 0
  while read -r name opt _; do
    case $name in ''|'#'*) continue ;; esac
    case $opt in -p[0-9]*) echo "$name ${opt#-p}" ;; *) echo "$name 1" ;; esac
  done < "$series"
}

# Unpacks source $1=$2 into $3 from its original and Debian tarballs alone, for a version whose
# .dsc the mirror does not serve: every file is checked against the index's size and SHA-256, and
# the Debian patches are applied in series order.
fetch_source_without_dsc() {
  local pkg=$1 v=$2 dest=$3 uri name size sum orig="" debian="" listed=0
  while read -r uri name size sum; do
    listed=1
    case $name in *.dsc) continue ;; esac
    /usr/lib/apt/apt-helper -qq download-file "$uri" "$dest/$name" "SHA256:$sum" >/dev/null 2>&1 || return 1
    [ "$(stat -c %s "$dest/$name")" = "$size" ] || return 1
    case $name in *.orig.tar.*) orig=$name ;; *.debian.tar.*) debian=$name ;; esac
  done < <(source_files "$pkg" "$v")
  [ $listed = 1 ] && [ -n "$orig" ] && [ -n "$debian" ] || return 1
  local upstream=${v#*:}
  local dir="$dest/$pkg-${upstream%-*}" patch level
  mkdir -p "$dir"
  tar -xf "$dest/$orig" -C "$dir" --strip-components=1 && tar -xf "$dest/$debian" -C "$dir" || return 1
  while read -r patch level; do
    patch -s -p"$level" -d "$dir" < "$dir/debian/patches/$patch" || return 1
  done < <(quilt_series "$dir/debian/patches/series")
}

# Downloads and unpacks the newest source of $1 that the mirrors still serve into $2. The newest
# security version is sometimes listed with a .dsc that answers 404 while its tarballs download;
# an older version is taken only when neither road gives the newest.
fetch_source() {
  local pkg=$1 dest=$2 v
  mkdir -p "$dest"
  for v in $(source_versions "$pkg"); do
    if (cd "$dest" && apt-get source -qq "$pkg=$v" >/dev/null 2>&1); then
      echo "$v"
      return 0
    fi
    rm -rf "${dest:?}"/*
    if fetch_source_without_dsc "$pkg" "$v" "$dest"; then
      log "$pkg $v: no .dsc on the mirror; unpacked its checked tarballs and applied its patches" >&2
      echo "$v"
      return 0
    fi
    rm -rf "${dest:?}"/*
  done
  echo "no downloadable source for $pkg" >&2
  return 1
}

# The cache key covers the newest listed versions and this file, so a new recipe or a new
# Debian source rebuilds; a fallback version is recorded inside the cache folder.
deps_key() {
  local s=""
  for p in openssl libssh2 curl libzip; do s+="$p=$(source_versions $p | head -1);"; done
  s+="recipe=$(sha256sum "$here/setup.sh" | cut -c1-16)"
  echo "$s" | sha256sum | cut -c1-16
}

# The shipped program is 32-bit; the 64-bit libraries build the whole tree for machines that run
# no 32-bit code (see scripts/test.sh). ARCH and HOST are set by build_deps.
ARCH=i686
HOST=i686-w64-mingw32

build_openssl() {
  local src=$1 prefix=$2
  (cd "$src"
   # Debian's pic patch adds -fPIC flags that make no sense for a COFF target.
   if [ -f debian/patches/pic.patch ] && patch -R -p1 --dry-run -s < debian/patches/pic.patch >/dev/null 2>&1; then
     patch -R -p1 -s < debian/patches/pic.patch
   fi
   # The program sets every TLS option itself, so OpenSSL loads no configuration file; its
   # compiled-in folders still name an admin-only Windows folder, where no user can plant a
   # configuration, certificates or modules. Configure takes a drive path for a relative one and
   # joins it to the prefix, so the generated Makefile gets the Windows folders written in.
   local target=mingw ssldir=C:/Windows/VelloranSSL
   if [ "$ARCH" = x86_64 ]; then target=mingw64; fi
   ./Configure "$target" --cross-compile-prefix=$HOST- --prefix="$prefix" --libdir=lib \
       --openssldir="$ssldir" no-shared no-module no-tests no-dso no-engine no-autoload-config >/dev/null
   sed -i -e "s#^OPENSSLDIR=.*#OPENSSLDIR=$ssldir#" -e "s#^ENGINESDIR=.*#ENGINESDIR=$ssldir/engines-3#" \
          -e "s#^MODULESDIR=.*#MODULESDIR=$ssldir/ossl-modules#" Makefile
   [ "$(grep -c "^\(OPENSSL\|ENGINES\|MODULES\)DIR=$ssldir" Makefile)" = 3 ] ||
     { echo "OpenSSL's Makefile does not name its folders as expected" >&2; return 1; }
   make -s -j"$(nproc)" build_libs >/dev/null 2>&1 || make -j"$(nproc)" build_libs
   make -s install_dev >/dev/null)
}

cmake_cross() {
  local src=$1 build=$2 prefix=$3; shift 3
  cmake -S "$src" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/../cmake/toolchain-$ARCH.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DVELLORAN_DEPS_PREFIX="$prefix" -Wno-dev \
        -DCMAKE_C_FLAGS="-ffile-prefix-map=$src=." "$@" \
        > "$build.log" 2>&1 &&
    cmake --build "$build" >> "$build.log" 2>&1 &&
    cmake --install "$build" >> "$build.log" 2>&1 || { tail -40 "$build.log"; return 1; }
}

build_libssh2() {
  local src=$1 prefix=$2
  cmake_cross "$src" "$src/_build" "$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
      -DCRYPTO_BACKEND=OpenSSL -DOPENSSL_ROOT_DIR="$prefix" -DENABLE_ZLIB_COMPRESSION=OFF \
      -DBUILD_EXAMPLES=OFF -DBUILD_TESTING=OFF
}

build_curl() {
  local src=$1 prefix=$2
  # libssh2 must come before OpenSSL on the link line of a static consumer.
  cmake_cross "$src" "$src/_build" "$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
      -DOPENSSL_ROOT_DIR="$prefix" -DCURL_USE_OPENSSL=ON -DCURL_USE_LIBSSH2=ON \
      -DLIBSSH2_INCLUDE_DIR="$prefix/include" \
      -DLIBSSH2_LIBRARY="$prefix/lib/libssh2.a;$prefix/lib/libssl.a;$prefix/lib/libcrypto.a" \
      -DCURL_ZLIB=ON -DCURL_CA_BUNDLE=none -DCURL_CA_PATH=none -DCURL_CA_FALLBACK=OFF \
      -DBUILD_CURL_EXE=OFF -DBUILD_TESTING=OFF -DENABLE_MANUAL=OFF -DCURL_DISABLE_LDAP=ON \
      -DCURL_DISABLE_LDAPS=ON -DCURL_DISABLE_TELNET=ON -DCURL_DISABLE_DICT=ON -DCURL_DISABLE_FILE=ON \
      -DCURL_DISABLE_TFTP=ON -DCURL_DISABLE_RTSP=ON -DCURL_DISABLE_POP3=ON -DCURL_DISABLE_IMAP=ON \
      -DCURL_DISABLE_GOPHER=ON -DCURL_DISABLE_MQTT=ON -DCURL_DISABLE_SMB=ON -DUSE_LIBIDN2=OFF -DCURL_USE_LIBPSL=OFF \
      -DUSE_NGHTTP2=OFF -DENABLE_UNIX_SOCKETS=OFF -DCURL_BROTLI=OFF -DCURL_ZSTD=OFF
}

build_libzip() {
  local src=$1 prefix=$2
  cmake_cross "$src" "$src/_build" "$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_PREFIX_PATH="$prefix" \
      -DOPENSSL_ROOT_DIR="$prefix" -DENABLE_OPENSSL=ON -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF \
      -DENABLE_COMMONCRYPTO=OFF -DENABLE_WINDOWS_CRYPTO=OFF -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF \
      -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF
}

# build_deps ARCH: the libraries for one architecture, in $CACHE_ROOT/current (i686) or
# $CACHE_ROOT/current-x86_64.
build_deps() {
  local key prefix work link
  ARCH=$1
  HOST=$ARCH-w64-mingw32
  key=$(deps_key)
  prefix="$CACHE_ROOT/$key"
  link="$CACHE_ROOT/current"
  if [ "$ARCH" != i686 ]; then prefix+="-$ARCH"; link+="-$ARCH"; fi
  if [ -f "$prefix/.complete" ]; then
    log "libraries from cache: $prefix ($(tr '\n' ' ' < "$prefix/versions.txt"))"
    ln -sfn "$prefix" "$link"
    return
  fi
  log "cross-building OpenSSL, libssh2, libcurl and libzip for $ARCH into $prefix"
  rm -rf "$prefix"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' RETURN
  mkdir -p "$prefix"
  : > "$prefix/versions.txt"
  local p v dir
  for p in openssl libssh2 curl libzip; do
    v=$(fetch_source "$p" "$work/$p")
    echo "$p $v" >> "$prefix/versions.txt"
    dir=$(find "$work/$p" -mindepth 1 -maxdepth 1 -type d | head -1)
    log "building $p $v"
    "build_$p" "$dir" "$prefix"
  done
  touch "$prefix/.complete"
  ln -sfn "$prefix" "$link"
  log "built for $ARCH: $(tr '\n' ' ' < "$prefix/versions.txt")"
}

install_packages
ensure_deb_src
# The two architectures build side by side, each in a subshell of its own.
build_deps i686 & i686_build=$!
build_deps x86_64 & x86_64_build=$!
failed=0
wait $i686_build || failed=1
wait $x86_64_build || failed=1
[ $failed = 0 ] || { log "cross-building the libraries failed"; exit 1; }
