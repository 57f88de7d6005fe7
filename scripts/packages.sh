# The libraries the program itself links (list files, the print queues, the plant feed): every
# script that configures a build installs them.
program_libraries=(libminizip-dev libexpat1-dev libcups2-dev libmosquitto-dev pkg-config)

# install_packages PKG...: apt-get installs the Debian packages that are missing (as root or via sudo).
install_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# debian_source PACKAGE=VERSION DIR: downloads Debian's source package into DIR (nothing is built
# by apt). A deb-src entry for the same suites as the system's own is added when apt has none.
debian_source() {
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    if ! apt-get source --download-only --print-uris "$1" >/dev/null 2>&1; then
        local sources=/etc/apt/sources.list.d/tandrel-deb-src.sources
        if [ -f /etc/apt/sources.list.d/debian.sources ]; then
            sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | $sudo tee "$sources" >/dev/null
        else
            grep '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' | $sudo tee "${sources%.sources}.list" >/dev/null
        fi
        # A full update: one pointed at the new file alone would drop the binary package lists.
        $sudo apt-get update -qq
    fi
    (cd "$2" && apt-get source --download-only "$1" >&2)
}
