# Shared by the scripts in this folder: package installation and the build.

# What building and running the browser needs on Debian bookworm.
KAKIKOMI_BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qtbase5-dev qtbase5-dev-tools libqt5webkit5-dev
                         qtkeychain-qt5-dev qtwebengine5-dev fontconfig)

# What the tests need besides: a session bus and a keyring daemon, which the secret store's test
# starts for itself (tests/with-secret-store.sh), and the postal-code dictionary, which the
# dictionary's test also reads whole when it is there (its excerpt in tests/data serves without).
KAKIKOMI_TEST_PACKAGES=(dbus gnome-keyring skkdic-extra)

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# What building and checking the Debian package needs: cpack's dependency search (dpkg-shlibdeps,
# file) and the validators of the desktop entry and the AppStream metainfo.
KAKIKOMI_PACKAGE_CHECK_PACKAGES=(dpkg-dev file desktop-file-utils appstream)

# Installs those of the given Debian packages that are not installed yet.
ensure_packages() {
    local missing=()
    local package
    for package in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root env DEBIAN_FRONTEND=noninteractive apt-get update -q
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
    fi
}

# Pages and the profile dialog are in Japanese: make sure some font can show it.
ensure_japanese_font() {
    if [ -z "$(fc-list :lang=ja 2>/dev/null)" ]; then
        ensure_packages fonts-noto-cjk
    fi
}

# build_project BUILD_DIR [cmake options...]
build_project() {
    local dir=$1
    shift
    cmake -S "$KAKIKOMI_ROOT" -B "$dir" -G Ninja "$@"
    cmake --build "$dir"
}

# The sanitizer and fuzzing builds: clang with its sanitizer and libFuzzer runtimes, and the
# symbolizer that puts function names and lines into their reports.
KAKIKOMI_CLANG_PACKAGES=(clang libclang-rt-14-dev llvm)

# configure_with_clang BUILD_DIR [cmake options...]
configure_with_clang() {
    local dir=$1
    shift
    CC=clang CXX=clang++ cmake -S "$KAKIKOMI_ROOT" -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ "$@"
}

KAKIKOMI_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
