#!/usr/bin/env bash
# The package check, run by the test command after both builds: makes the
# two Debian packages (build/linux) and the Windows .zip (build/windows),
# holds them to lintian, desktop-file-validate and appstreamcli; installs the
# terminal package on its own with apt and runs its koru-bench-cli --json to
# the results; installs the desktop package, runs the installed program from
# its menu entry's command to its results on a private X display and closes
# it; purges both and looks for anything of either left behind. Then it
# checks what the .zip holds, and what can be checked of the arm64 packages
# (build/linux-arm64) without installing them.
# Works as root or, for another user, through sudo (install and purge only).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
LINUX_BUILD=$ROOT/build/linux
WINDOWS_BUILD=$ROOT/build/windows
ARM64_BUILD=$ROOT/build/linux-arm64
PACKAGE=koru-bench
CLI_PACKAGE=koru-bench-cli
APP_ID=org.example.koru_bench
began=$SECONDS

SUDO=""
if [ "$(id -u)" -ne 0 ]; then
    SUDO="sudo env DEBIAN_FRONTEND=noninteractive"
fi
export DEBIAN_FRONTEND=noninteractive

passed=0
failed=0
ok=true
check() {  # check NAME COMMAND...: one named result, also left in $ok
    local name=$1
    shift
    if "$@"; then
        ok=true passed=$((passed + 1))
        echo "PASS packages: $name"
    else
        ok=false failed=$((failed + 1))
        echo "FAIL packages: $name"
    fi
}
shown() {  # runs a command, its output indented; its status
    local status=0
    "$@" >"$work/output" 2>&1 || status=$?
    sed 's/^/    /' "$work/output"
    return "$status"
}
silent_unless_failing() {  # a command whose output matters only if it fails
    "$@" >"$work/output" 2>&1 && return 0
    sed 's/^/    /' "$work/output"
    return 1
}
silent() {  # a command that must succeed without a word
    shown "$@" && [ ! -s "$work/output" ]
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$LINUX_BUILD/CMakeCache.txt")
[ -n "$version" ] || { echo "packages: no Linux build in $LINUX_BUILD: build it first" >&2; exit 1; }
arch=$(dpkg --print-architecture)  # the packages are this machine's
deb=$LINUX_BUILD/${PACKAGE}_${version}_$arch.deb
cli_deb=$LINUX_BUILD/${CLI_PACKAGE}_${version}_$arch.deb
zip=$WINDOWS_BUILD/$PACKAGE-$version-win32.zip
arm64_deb=$ARM64_BUILD/${PACKAGE}_${version}_arm64.deb
arm64_cli_deb=$ARM64_BUILD/${CLI_PACKAGE}_${version}_arm64.deb

is_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"
}
not_installed() { ! is_installed "$1"; }
for package in "$PACKAGE" "$CLI_PACKAGE"; do
    if is_installed "$package"; then
        echo "packages: $package is installed on this machine; this check installs and purges it itself: remove it first (apt-get purge $package)" >&2
        exit 1
    fi
done

work=$(mktemp -d)
cleanup() {
    for package in "$PACKAGE" "$CLI_PACKAGE"; do
        if is_installed "$package"; then
            $SUDO apt-get purge -y -q "$package" >/dev/null 2>&1 || true
        fi
    done
    rm -rf "$work"
}
trap cleanup EXIT
# apt reads the files as its own unprivileged user: a folder it can enter.
chmod 755 "$work"

# install_package NAME DEB: installs it with apt; $work/NAME.files then lists
# its paths, $work/NAME.before those that were there already (shared folders).
install_package() {
    local path
    cp "$2" "$work/"
    dpkg-deb -c "$2" | awk '{print $6}' | sed 's|^\./|/|; s|/$||' | grep -v '^$' >"$work/$1.files"
    while read -r path; do
        [ -e "$path" ] && echo "$path"
    done <"$work/$1.files" >"$work/$1.before"
    check "$1 installs with apt, dependencies resolved" \
        silent_unless_failing $SUDO apt-get install -y -q "$work/$(basename "$2")"
    if $ok; then
        dpkg -L "$1" >"$work/$1.files"
    fi
}
# purge_packages NAME...: purges them with apt (one call: apt takes seconds)
# and looks for anything of each left.
purge_packages() {
    local name path left
    check "$* purged with apt" silent_unless_failing $SUDO apt-get purge -y -q "$@"
    for name in "$@"; do
        left=()
        while read -r path; do
            [ -e "$path" ] || [ -L "$path" ] || continue
            # A folder shared with other packages (/usr/share/man, ...) stays.
            if [ -d "$path" ] && [ ! -L "$path" ] && grep -qxF "$path" "$work/$name.before"; then
                continue
            fi
            left+=("$path")
        done <"$work/$name.files"
        check "nothing of $name left after purging" test ${#left[@]} -eq 0
        [ ${#left[@]} -eq 0 ] || printf '    left: %s\n' "${left[@]}"
    done
}

echo "packages: building $(basename "$deb"), $(basename "$cli_deb"), their arm64 twins and $(basename "$zip")"
rm -f "$deb" "$cli_deb" "$arm64_deb" "$arm64_cli_deb" "$zip"
(cd "$LINUX_BUILD" && cpack -G DEB >"$work/cpack-deb.log" 2>&1) || { cat "$work/cpack-deb.log"; exit 1; }
(cd "$ARM64_BUILD" && cpack -G DEB >"$work/cpack-arm64.log" 2>&1) || { cat "$work/cpack-arm64.log"; exit 1; }
(cd "$WINDOWS_BUILD" && cpack -G ZIP >"$work/cpack-zip.log" 2>&1) || { cat "$work/cpack-zip.log"; exit 1; }

# ---- The terminal package, on its own ---------------------------------------
# Its whole run goes on while the packages' contents are checked and the
# desktop package is installed.
install_package "$CLI_PACKAGE" "$cli_deb"
cli_run=""
if $ok; then
    check "$CLI_PACKAGE installed without the window program" not_installed "$PACKAGE"
    check "koru-bench-cli on PATH is the installed one" test "$(command -v "$CLI_PACKAGE")" = "/usr/bin/$CLI_PACKAGE"
    echo "packages: running the installed $CLI_PACKAGE --json"
    /usr/bin/python3 tests/endtoend/run_cli.py --label installed-cli --json-only --home "$work/cli-home" \
        --version "$version" -- "$CLI_PACKAGE" >"$work/cli-run.log" 2>&1 &
    cli_run=$!
fi

# ---- What the .debs hold ---------------------------------------------------
check "lintian reports no error or warning" shown lintian --fail-on error,warning "$deb" "$cli_deb"
unpacked=$work/unpacked
dpkg-deb -x "$deb" "$unpacked"
desktop=$unpacked/usr/share/applications/$APP_ID.desktop
metainfo=$unpacked/usr/share/metainfo/$APP_ID.metainfo.xml
check "desktop entry valid" silent desktop-file-validate "$desktop"
check "AppStream metadata valid" shown appstreamcli validate --no-net --no-color "$metainfo"
check "AppStream metadata launches the packaged desktop entry" \
    silent_unless_failing appstreamcli validate-tree --no-net --no-color "$unpacked"
manual_version() { zcat "$1/usr/share/man/man1/$2.1.gz" | head -1 | grep -q "\"KORU BENCH $version\""; }
check "package version is the project's ($version)" test "$(dpkg-deb -f "$deb" Version)" = "$version"
check "AppStream release is the project's version" grep -q "<release version=\"$version\"" "$metainfo"
check "manual page is of the project's version" manual_version "$unpacked" "$PACKAGE"
check "run-time dependencies computed (SDL2 among them)" grep -q libsdl2-2.0-0 <<<"$(dpkg-deb -f "$deb" Depends)"
check "Japanese font recommended" test "$(dpkg-deb -f "$deb" Recommends)" = fonts-ipafont-gothic
check "icon rendered at 256 x 256" \
    test "$(identify -format %wx%h "$unpacked/usr/share/icons/hicolor/256x256/apps/$APP_ID.png")" = 256x256

cli_unpacked=$work/cli-unpacked
dpkg-deb -x "$cli_deb" "$cli_unpacked"
cli_depends=$(dpkg-deb -f "$cli_deb" Depends)
check "$CLI_PACKAGE version is the project's ($version)" test "$(dpkg-deb -f "$cli_deb" Version)" = "$version"
check "$CLI_PACKAGE manual page is of the project's version" manual_version "$cli_unpacked" "$CLI_PACKAGE"
check "$CLI_PACKAGE dependencies computed (libc6 among them)" grep -q libc6 <<<"$cli_depends"
check "$CLI_PACKAGE depends on no graphics library" \
    test -z "$(grep -oiE 'sdl|x11|xcb|wayland|freetype|fontconfig|libgl|egl|drm|gtk|cairo|pango' <<<"$cli_depends")"

wait_for_run() {  # the background run's output, indented; its status
    local status=0
    wait "$1" || status=$?
    sed 's/^/    /' "$work/cli-run.log"
    return "$status"
}

# ---- The desktop package: installed, run, purged ----------------------------
install_package "$PACKAGE" "$deb"
desktop_installed=$ok
if [ -n "$cli_run" ]; then
    check "installed $CLI_PACKAGE --json runs whole and its JSON holds up" wait_for_run "$cli_run"
fi
if $desktop_installed; then
    check "dpkg lists the program and its desktop entry" \
        test "$(grep -cxE "/usr/bin/$PACKAGE|/usr/share/applications/$APP_ID.desktop" "$work/$PACKAGE.files")" -eq 2
    check "koru-bench on PATH is the installed one" test "$(command -v "$PACKAGE")" = "/usr/bin/$PACKAGE"

    # The menu's command, as a desktop runs it (it has no field codes to fill).
    exec_line=$(sed -n 's/^Exec=//p' "/usr/share/applications/$APP_ID.desktop")
    read -r -a command_words <<<"${exec_line//%[fFuUik]/}"
    echo "packages: running the menu entry's command: ${command_words[*]}"
    mkdir -p "$work/cache"
    check "installed program runs to its results and closes with 0" \
        env XDG_CACHE_HOME="$work/cache" /usr/bin/python3 tests/endtoend/run_endtoend.py \
            --label installed --pictures "$LINUX_BUILD/resources/pictures" \
            --scratch "$work/cache/$PACKAGE/tmp.dat" --out "$LINUX_BUILD/screenshots" \
            --exit-limit 1 --close-during -- "${command_words[@]}"
fi

purge_packages "$CLI_PACKAGE" "$PACKAGE"

# ---- What the .zip holds ----------------------------------------------------
top=$PACKAGE-$version-win32
check "zip lists exactly koru-bench.exe, koru-bench-cli.exe, README.txt and LICENSE.txt in $top/" \
    test "$(unzip -Z1 "$zip" | sort | tr '\n' ' ')" = \
        "$top/LICENSE.txt $top/README.txt $top/koru-bench-cli.exe $top/koru-bench.exe "
member() { unzip -p "$zip" "$top/$1"; }
crlf_only() {  # every line of the member ends in CR LF
    member "$1" >"$work/member"
    [ -s "$work/member" ] && [ "$(grep -c $'\r$' "$work/member")" -eq "$(wc -l <"$work/member")" ] &&
        [ "$(tail -c 2 "$work/member" | od -An -tx1 | tr -d ' ')" = "0d0a" ]
}
check "zip's koru-bench.exe is the Windows build's" cmp -s <(member koru-bench.exe) "$WINDOWS_BUILD/display/koru-bench.exe"
check "zip's koru-bench-cli.exe is the Windows build's" \
    cmp -s <(member koru-bench-cli.exe) "$WINDOWS_BUILD/console/koru-bench-cli.exe"
check "README.txt has CRLF line ends" crlf_only README.txt
check "README.txt names the version" grep -q "^KORU BENCH $version"$'\r'"\$" <(member README.txt | head -1)
check "README.txt says where the scratch file goes" grep -qF 'C:\tmp.dat' <(member README.txt)
check "README.txt says where it goes when the root of C refuses it" grep -qF 'Temp\koru-bench\tmp.dat' <(member README.txt)
check "LICENSE.txt is the project's licence" cmp -s <(member LICENSE.txt | tr -d '\r') LICENSE
check "LICENSE.txt has CRLF line ends" crlf_only LICENSE.txt

# ---- Packages for another architecture ---------------------------------------
# They cannot be installed here. What can be checked: lintian; the
# architecture and version; the same files as the native package, the same
# bytes but for the programs, which are for that architecture; dependencies
# worked out for it, which apt could meet there; and, for the programs, that
# they start under qemu as shipped.
declare -A ELF_MACHINE=([arm64]=AArch64)
deb_paths() { dpkg-deb -c "$1" | awk '{print $6}' | sort; }
# The checksums of the files that are not programs.
deb_data_sums() { dpkg-deb -I "$1" md5sums | grep -Ev "  usr/(bin|lib|libexec)/" | sort; }
programs_for() {  # programs_for FOLDER MACHINE: every ELF file there is for MACHINE, and there is one
    local file found=0
    while IFS= read -r -d '' file; do
        readelf -h "$file" >/dev/null 2>&1 || continue
        found=1
        readelf -h "$file" | grep -qE "^ +Machine: +$2\$" || { echo "    not for $2: $file"; return 1; }
    done < <(find "$1" -type f -print0)
    [ "$found" = 1 ]
}
depends_for_target() {  # names none of this machine's or the cross compiler's own packages
    local depends
    depends=$(dpkg-deb -f "$1" Depends)
    grep -q 'libc6 ' <<<"$depends" && ! grep -qE ":$(dpkg --print-architecture)|-cross\b" <<<"$depends"
}
check_foreign_deb() {  # check_foreign_deb DEB ARCH NATIVE_DEB: unpacked in $work/foreign
    local foreign=$1 arch=$2 native=$3 name
    name=$(basename "$foreign")
    check "$name: lintian reports no error or warning" shown lintian --fail-on error,warning "$foreign"
    check "$name: architecture $arch" test "$(dpkg-deb -f "$foreign" Architecture)" = "$arch"
    check "$name: version is the project's" test "$(dpkg-deb -f "$foreign" Version)" = "$version"
    check "$name: the same files as $(basename "$native")" cmp -s <(deb_paths "$foreign") <(deb_paths "$native")
    check "$name: the same bytes as $(basename "$native") but for the programs" \
        cmp -s <(deb_data_sums "$foreign") <(deb_data_sums "$native")
    rm -rf "$work/foreign" && dpkg-deb -x "$foreign" "$work/foreign"
    check "$name: its programs are for $arch" programs_for "$work/foreign" "${ELF_MACHINE[$arch]}"
    check "$name: dependencies worked out for $arch: $(dpkg-deb -f "$foreign" Depends)" \
        depends_for_target "$foreign"
    check "$name: apt could install it with its dependencies on $arch" \
        silent_unless_failing apt-get -s install "$foreign"
}
says() {  # says STATUS TEXT COMMAND...: the command ends with STATUS, having said TEXT
    local expected_status=$1 expected=$2 said status=0
    shift 2
    said=$(env -u DISPLAY -u WAYLAND_DISPLAY "$@" 2>&1) || status=$?
    [ "$status" = "$expected_status" ] && [ "$said" = "$expected" ] ||
        { echo "    exit status $status: $said"; return 1; }
}
check_foreign_deb "$arm64_deb" arm64 "$deb"
check "$(basename "$arm64_deb"): the program starts under qemu and asks for a display" \
    says 1 "$PACKAGE: cannot open a window: no display (DISPLAY is not set)" qemu-aarch64 "$work/foreign/usr/bin/$PACKAGE"
check_foreign_deb "$arm64_cli_deb" arm64 "$cli_deb"
check "$(basename "$arm64_cli_deb"): the program starts under qemu and says its version" \
    says 0 "$("$LINUX_BUILD/console/$CLI_PACKAGE" --version)" qemu-aarch64 "$work/foreign/usr/bin/$CLI_PACKAGE" --version

echo "packages: took $((SECONDS - began)) s"
echo "packages: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
