# Sourced by the scripts: installs the Debian packages the build needs when they are missing.

BUILD_PACKAGES=(cmake ninja-build g++ libgtest-dev libgmock-dev libbenchmark-dev libcli11-dev
                nlohmann-json3-dev libssl-dev dpkg-dev file)
CHECK_PACKAGES=(clang clang-format clang-tidy libclang-rt-14-dev)
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64 g++-mingw-w64-i686 mingw-w64-tools wine wine64 xvfb xauth
                  xdotool imagemagick)
ARM_PACKAGES=(g++-arm-linux-gnueabi qemu-user)

ensure_packages() {
  local missing=()
  for package in "$@"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null; then
    echo "Installing ${missing[*]}" >&2
    apt-get update -qq >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
  else
    echo "Missing packages; install them with: sudo apt-get install ${missing[*]}" >&2
    return 1
  fi
}

# Wine for 32-bit programs (the device program's build for 32-bit Windows): Debian's wine32, of
# the i386 architecture, which is added when missing.
wine32() {
  dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed" && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing wine32; install it with: sudo dpkg --add-architecture i386 &&" \
      "sudo apt-get update && sudo apt-get install wine32:i386" >&2
    return 1
  fi
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386 || return 1
  ensure_packages wine32:i386
}

# Configures and builds one build tree of CMakePresets.json: build_tree PRESET
build_tree() {
  cmake --preset "$1" >/dev/null
  cmake --build --preset "$1"
}

# OpenSSL for 32-bit ARM, unpacked from Debian's armel packages into build/arm-sysroot, where the
# arm preset finds it; without it the ARM build makes only the core and its unit tests.
arm_sysroot() {
  local root=build/arm-sysroot debs
  [ -e "$root/usr/lib/arm-linux-gnueabi/libcrypto.a" ] && return 0
  [ "$(id -u)" -eq 0 ] || return 1
  dpkg --print-foreign-architectures | grep -qx armel || dpkg --add-architecture armel || return 1
  apt-get update -qq >&2 || return 1
  debs=$(mktemp -d)
  chmod 755 "$debs"
  (cd "$debs" && apt-get download -qq libssl-dev:armel libssl3:armel >&2) || return 1
  mkdir -p "$root"
  for deb in "$debs"/*.deb; do dpkg-deb -x "$deb" "$root"; done
  rm -rf "$debs"
}
