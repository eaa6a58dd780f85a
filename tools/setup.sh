# Shared by ./play and ./test: installs missing Debian packages, then
# configures and builds one build directory. Source it, then call
# plumo_setup <build-dir> <cmake options...>.

plumo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

plumo_install_packages() {
    local wanted missing=()
    wanted=$(grep -v '^\s*#' "$plumo_root/tools/debian-packages.txt" | grep -v '^\s*$')
    for package in $wanted; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    echo "Installing Debian packages: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo="sudo"
        else
            echo "error: these packages are missing and this is not root and has no sudo:" >&2
            echo "  ${missing[*]}" >&2
            echo "Install them as root (apt-get install ${missing[*]}) and run this again." >&2
            return 1
        fi
    fi
    if ! command -v apt-get >/dev/null 2>&1; then
        echo "error: apt-get not found; install these packages by hand: ${missing[*]}" >&2
        return 1
    fi
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq || return 1
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" || return 1
}

plumo_setup() {
    local build_dir=$1
    shift
    plumo_install_packages || return 1
    if [ ! -f "$build_dir/CMakeCache.txt" ]; then
        cmake -S "$plumo_root" -B "$build_dir" "$@" || return 1
    fi
    cmake --build "$build_dir" -j "$(nproc)" || return 1
}
