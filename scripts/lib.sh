# Shared by the scripts: installs the Debian packages the build needs when they are missing.

KOVA_PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev libxerces-c-dev libicu-dev libgtest-dev
               libgmock-dev libbenchmark-dev locales)
KOVA_PACKAGES+=(libmimalloc-dev) # for benchmarks only: a peer of the memory manager
KOVA_PACKAGES+=(libspdlog-dev) # for benchmarks only: the peer of the logger
KOVA_PACKAGES+=(nlohmann-json3-dev libsimdjson-dev) # for benchmarks only: the peers of JSON

kova_install_dependencies() {
    local missing=()
    local pkg
    for pkg in "${KOVA_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    if [ ${#missing[@]} -eq 0 ]; then
        return 0
    fi
    echo "== installing: ${missing[*]}"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        sudo=(sudo)
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -q
    "${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
}
