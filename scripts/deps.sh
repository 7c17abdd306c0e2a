# Sourced by run.sh and test.sh: installs the Debian packages the project needs, once.
# Works as root; otherwise uses sudo.

toplusms_install() {
    local missing=()
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# What the program itself needs to build and run.
TOPLUSMS_BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-qpa-plugins libgl-dev
    libfreexl-dev libzip-dev libexpat1-dev libgtest-dev libgmock-dev googletest libbenchmark-dev fonts-dejavu-core fonts-dejavu-extra
    libudev-dev libsqlite3-dev libphonenumber-dev qt6-translations-l10n)
# What the tests need beyond that (clang for the libFuzzer builds, its sanitizer runtime).
TOPLUSMS_TEST_PACKAGES=(clang libclang-rt-14-dev hyperfine locales desktop-file-utils appstream ccache)
# What scripts/make-deb.sh needs beyond the build: dpkg-shlibdeps for the dependencies.
TOPLUSMS_PACKAGE_PACKAGES=(dpkg-dev)

# The reply classifier is tested under a Turkish locale, where i and I are no case pair.
toplusms_turkish_locale() {
    locale -a 2>/dev/null | grep -qi '^tr_TR' && return 0
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" localedef -i tr_TR -f UTF-8 tr_TR.UTF-8 || echo "warning: no Turkish locale; its test is skipped"
}
