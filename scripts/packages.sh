# The libraries the program itself links (list files, the print queues, the plant feed, the bar
# plan): every script that configures a build installs them.
program_libraries=(libminizip-dev libexpat1-dev libcups2-dev libmosquitto-dev pkg-config
    coinor-libclp-dev coinor-libcoinutils-dev)

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

# apt_path KEY TYPE: a file (f) or folder (d) that apt is configured with, APT_CONFIG included.
apt_path() {
    apt-config shell v "$1/$2" | sed -n "s/^v='\(.*\)'$/\1/p"
}

# as_root COMMAND...: runs it as root (through sudo when needed), keeping APT_CONFIG.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then
        "$@"
    else
        sudo ${APT_CONFIG:+env APT_CONFIG="$APT_CONFIG"} "$@"
    fi
}

# debian_source_lists PACKAGE: makes apt know the source versions of PACKAGE. A deb-src entry
# for the same suites as Debian's own deb entries is written into the sources folder apt is
# configured with when it has none; then the lists are updated in full (an update pointed at the
# new file alone would drop the binary package lists).
debian_source_lists() {
    apt-cache showsrc "$1" 2>/dev/null | grep -q '^Version:' && return 0
    local parts list
    parts=$(apt_path Dir::Etc::sourceparts d)
    list=$(apt_path Dir::Etc::sourcelist f)
    if ! cat "$list" "$parts"/*.list "$parts"/*.sources 2>/dev/null |
        grep -qE '^[[:space:]]*(deb-src[[:space:]]|Types:.*deb-src)'; then
        if [ -f "$parts/debian.sources" ]; then
            sed 's/^Types:.*/Types: deb-src/' "$parts/debian.sources" |
                as_root tee "$parts/tandrel-deb-src.sources" >/dev/null
        else
            cat "$list" "$parts"/*.list 2>/dev/null | grep -E '^deb [^#]*debian' |
                sed 's/^deb /deb-src /' | as_root tee "$parts/tandrel-deb-src.list" >/dev/null
        fi
    fi
    as_root apt-get update -qq
    apt-cache showsrc "$1" 2>/dev/null | grep -q '^Version:'
}

# debian_source_versions PACKAGE=VERSION: the versions to try, one a line: the installed one
# first, then every one the pool has, newest first.
debian_source_versions() {
    local name=${1%%=*}
    debian_source_lists "$name" >&2 || true
    { echo "${1#*=}"; apt-cache showsrc "$name" 2>/dev/null | sed -n 's/^Version: //p' | sort -Vru; } |
        awk '!seen[$0]++'
}

# debian_source PACKAGE=VERSION DIR: downloads Debian's source package into DIR (nothing is built
# by apt).
debian_source() {
    debian_source_lists "${1%%=*}" >&2 || true
    (cd "$2" && apt-get source --download-only "$1" >&2)
}

# fetch_debian_source PACKAGE=VERSION WORK LOG: Debian's source package unpacked into
# WORK/<name>/src: the installed version's, or where the pool has no source of it (a security
# update's can be gone) the newest the pool has. Says which on stderr after LOG and prints
# "<name>=<version>", what was unpacked. Fails when no version's source can be fetched.
fetch_debian_source() {
    local name=${1%%=*} version
    for version in $(debian_source_versions "$1"); do
        rm -rf "${2:?}/$name"
        mkdir -p "$2/$name"
        if debian_source "$name=$version" "$2/$name" 2>/dev/null; then
            if [ "$version" = "${1#*=}" ]; then
                echo "$3: $name $version (the installed version)" >&2
            else
                echo "$3: $name $version (the installed ${1#*=} has no source in the pool)" >&2
            fi
            dpkg-source --no-check -x "$2/$name"/*.dsc "$2/$name/src" >&2
            echo "$name=$version"
            return 0
        fi
    done
    echo "$3: no source of $name can be fetched" >&2
    return 1
}
