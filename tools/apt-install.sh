# Sourced by tools/install-deps.sh: apt as a mirror that is not in step with
# itself still lets it install. Needs $SUDO and log() from its caller.
#
# A library that two architectures both install (Multi-Arch: same) must be
# at one version on both. On a mirror caught mid-sync one architecture's
# index of a suite can be missing (bookworm-security's i386 index for days:
# "File has unexpected size"), and a machine's image can hold versions that
# no index has any more; apt then wants the native half at a version the
# foreign half cannot have, and gives up ("held broken packages"). Such
# libraries are given, for that install only, the newest version that every
# architecture involved has, and apt's own resolver does the rest.

APT_LOG=${TMPDIR:-/tmp}/koru-bench-apt.log
FAILED_INDEXES=""  # "suite/arch" of each index the last update could not fetch

update_package_lists() {
    local attempt
    for attempt in 1 2; do
        if $SUDO apt-get update -q >"$APT_LOG" 2>&1; then FAILED_INDEXES=""; return 0; fi
        FAILED_INDEXES=$(sed -n 's|^E: Failed to fetch .*/dists/\([^/]*\)/.*/binary-\([a-z0-9]*\)/.*|\1/\2|p' "$APT_LOG" | sort -u | tr '\n' ' ')
        log "package lists incomplete (try $attempt of 2): ${FAILED_INDEXES:-see $APT_LOG}"
        [ "$attempt" = 2 ] || sleep 15
    done
    log "going on without the indexes that could not be fetched"
}

# common_version PACKAGE ARCH...: the newest version of this library that
# the package indexes have for every one of these architectures, or nothing.
common_version() {
    local package=$1 names=() a; shift
    for a in "$@"; do names+=("$package:$a"); done
    # shellcheck disable=SC2046 # a list of versions
    newest $(apt-cache show "${names[@]}" 2>/dev/null | awk -v archs="$*" '
        BEGIN { wanted = split(archs, list, " ") }
        /^Architecture:/ {a = $2} /^Version:/ {v = $2}
        /^$/ { if (!((v, a) in seen)) { seen[v, a] = 1; count[v]++ } }
        END { for (v in count) if (count[v] == wanted) print v }')
}

# newest VERSION...: the newest of them, in Debian's order.
newest() {
    local best="" v
    for v in "$@"; do
        if [ -z "$best" ] || dpkg --compare-versions "$v" gt "$best"; then best=$v; fi
    done
    printf '%s' "$best"
}

# explain_install_failure: one line from apt's output on the package that
# cannot be had, and why.
explain_install_failure() {
    local line
    line=$(grep -m1 -E "^ *[^ ]+ : (Pre)?Depends: .* but it is not installable|^E: (Unable to locate package|Package '.*' has no installation candidate|Version '.*' for '.*' was not found)" "$APT_LOG" || true)
    if [[ $line =~ ^\ *([^ ]+)\ :\ (Pre)?Depends:\ ([^ ]+)(\ \(([^\)]*)\))?\ but ]]; then
        line="${BASH_REMATCH[1]} needs ${BASH_REMATCH[3]}${BASH_REMATCH[5]:+ (${BASH_REMATCH[5]})}, which no package index has"
    elif [ -n "$line" ]; then
        line=${line#E: }
    else
        line=$(grep -m1 '^E: ' "$APT_LOG" || echo "apt failed")
        line=${line#E: }
    fi
    [ -z "$FAILED_INDEXES" ] || line="$line (indexes not fetched: ${FAILED_INDEXES% })"
    printf 'install-deps: cannot install: %s; apt'\''s output is in %s\n' "$line" "$APT_LOG" >&2
}

# install_packages PACKAGE...: apt-get install, in step across architectures.
# Where apt finds no way, the suites whose index could not be fetched are held
# back (every architecture then takes the versions that the one without that
# index has), and each library that apt still calls not installable goes, on
# the native architecture and those it is wanted on, to the newest version
# that all of them have.
install_packages() {
    local preferences=${TMPDIR:-/tmp}/koru-bench-apt.pref options=() moved=() suite round
    local native culprit archs version
    native=$(dpkg --print-architecture)
    # With an index missing, the suites are held back without a plain try
    # first (a try takes 20 s, and fails where that index is needed).
    if [ -n "$FAILED_INDEXES" ] || ! apt-get install -s -q --no-install-recommends "$@" >"$APT_LOG" 2>&1; then
        : >"$preferences"
        for suite in $(printf '%s\n' $FAILED_INDEXES | sed 's|/.*||' | sort -u); do
            printf 'Package: *\nPin: release n=%s\nPin-Priority: 90\n\n' "$suite" >>"$preferences"
        done
        options=(-o "Dir::Etc::Preferences=$preferences" --allow-downgrades)
        for round in 1 2 3 4 5 6 7 8; do
            apt-get install -s -q --no-install-recommends "${options[@]}" "$@" >"$APT_LOG" 2>&1 && break
            culprit=$(sed -n 's/.*Depends: \([^ :]*\).* but it is not installable$/\1/p' "$APT_LOG" |
                      grep -vxF -f <(printf '%s\n' "${moved[@]%% *}" "") | head -n1)
            [ -n "$culprit" ] || break
            archs=$( (echo "$native"
                      sed -n "s/.*Depends: $culprit:\([^ ]*\).* but it is not installable\$/\1/p" "$APT_LOG") | sort -u)
            # shellcheck disable=SC2086 # a list of architectures
            version=$(common_version "$culprit" $archs)
            [ -n "$version" ] || break
            printf 'Package:%s\nPin: version %s\nPin-Priority: 1001\n\n' \
                "$(printf " $culprit:%s" $archs)" "$version" >>"$preferences"
            moved+=("$culprit $version")
        done
        if [ -s "$preferences" ]; then
            log "installing${FAILED_INDEXES:+ with the suites of the indexes not fetched (${FAILED_INDEXES% }) held back}${moved[*]:+ and, at a version every architecture has, ${moved[*]}}"
        else
            options=()  # nothing out of step: apt's own answer stands
        fi
    fi
    if ! $SUDO apt-get install -y -q --no-install-recommends "${options[@]}" "$@" >"$APT_LOG" 2>&1; then
        explain_install_failure
        return 1
    fi
}
