# Shared by the scripts: where the builds live, how they are configured, and installing the
# Debian packages a script needs.
#
# The user's build (scripts/setup, scripts/run, scripts/package) is optimised, without
# sanitizers, tests or benchmarks. The test build (scripts/test) is Debug with AddressSanitizer
# and UBSan, in a folder of its own. Warnings are errors only when AMBREL_WERROR=ON (CI).

RELEASE_DIR=${AMBREL_RELEASE_BUILD_DIR:-build-release}
TEST_DIR=${AMBREL_BUILD_DIR:-build}
# Builds in different folders share what ccache compiled.
CCACHE_BASEDIR=$(pwd)
export CCACHE_BASEDIR

# What building and running need, on a user's machine too.
build_packages=(
    build-essential cmake ninja-build ccache pkg-config
    libicu-dev nlohmann-json3-dev libfmt-dev
    libpulse-dev libsoxr-dev libspeexdsp-dev libpocketsphinx-dev pocketsphinx-en-us
    libcurl4-openssl-dev libarchive-dev libssl-dev libsodium-dev openssl
    qt6-base-dev qt6-svg-dev qt6-qpa-plugins libxcb1-dev fonts-dejavu-core fonts-symbola
)

werror_flag() {
    if [[ ${AMBREL_WERROR:-OFF} == ON ]]; then
        echo -DAMBREL_WERROR=ON
    else
        echo -DAMBREL_WERROR=OFF
    fi
}

# Configuring again is cheap and takes a changed AMBREL_WERROR or update settings along.
configure_release() {
    cmake -S . -B "$RELEASE_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DAMBREL_SANITIZE=OFF -DAMBREL_BUILD_TESTS=OFF -DAMBREL_BUILD_BENCHMARKS=OFF \
        "$(werror_flag)" \
        -DAMBREL_UPDATE_FEED="${AMBREL_UPDATE_FEED:-}" -DAMBREL_UPDATE_KEY="${AMBREL_UPDATE_KEY:-}" \
        >/dev/null
}

configure_tests() {
    cmake -S . -B "$TEST_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DAMBREL_SANITIZE=ON \
        -DAMBREL_BUILD_TESTS=ON -DAMBREL_BUILD_BENCHMARKS=OFF "$(werror_flag)" >/dev/null
}

as_root() {
    if [[ $(id -u) -eq 0 ]]; then
        "$@"
    elif command -v sudo >/dev/null; then
        sudo "$@"
    else
        echo "installing packages needs root; run this as root or install sudo" >&2
        exit 1
    fi
}

is_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}

# Installs the packages that are missing (apt-get update once per run); `--optional` before a
# package lets its absence pass, since not every release has it under that name.
apt_updated=false
ensure_packages() {
    local -a missing=() optional=()
    local is_optional=false package
    for package in "$@"; do
        if [[ $package == --optional ]]; then
            is_optional=true
            continue
        fi
        if ! is_installed "$package"; then
            if $is_optional; then optional+=("$package"); else missing+=("$package"); fi
        fi
        is_optional=false
    done
    ((${#missing[@]} + ${#optional[@]} > 0)) || return 0
    echo "installing ${missing[*]} ${optional[*]}"
    export DEBIAN_FRONTEND=noninteractive
    if ! $apt_updated; then
        as_root apt-get update -q
        apt_updated=true
    fi
    if ((${#missing[@]} > 0)); then
        as_root apt-get install -y -q --no-install-recommends "${missing[@]}"
    fi
    for package in "${optional[@]}"; do
        as_root apt-get install -y -q --no-install-recommends "$package" ||
            echo "optional package $package is not available; going on without it"
    done
}
