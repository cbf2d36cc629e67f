# Sourced by install-deps.sh and fetch-zstd.sh: apt steps that outlast a bad moment of a mirror.
# A mirror being synced serves a half-written index for a while ("File has unexpected size ...
# Mirror sync in progress?") and apt-get update then exits 100 even though every other index was
# fetched; apt-get keeps using those.

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# Tries apt-get update a few times, with pauses (about two minutes in all by default; the tests
# shorten them). Returns non-zero when no try succeeded; the last error is left in
# $apt_update_error. A command given as arguments ends the tries early once it succeeds: what the
# caller needs may have come with an update that failed for another index.
apt_update_retrying() {
    local tries=${FILESPACK_APT_UPDATE_TRIES:-4} pause=${FILESPACK_APT_UPDATE_PAUSE:-30} try log
    apt_update_error=""
    log=$(mktemp)
    for ((try = 1; try <= tries; try++)); do
        if as_root apt-get update -qq </dev/null >"$log" 2>&1; then
            rm -f "$log"
            return 0
        fi
        apt_update_error=$(grep -m1 '^E:' "$log" || tail -n1 "$log")
        echo "apt-get update failed (try $try of $tries): $apt_update_error" >&2
        if [ $# -gt 0 ] && "$@"; then
            break
        fi
        [ "$try" -lt "$tries" ] && sleep "$pause"
    done
    rm -f "$log"
    return 1
}

apt_install() {
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" </dev/null >&2
}

package_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'
}
