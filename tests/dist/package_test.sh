#!/usr/bin/env bash
# Usage: package_test.sh KESTRAVA.deb
# Unpacks the package into a scratch root and runs both programs from there, with the source and
# build trees hidden where a private mount namespace can be had, so nothing of them is needed;
# then lintian must find no error. Names each failure and ends with "N passed, N failed".
set -uo pipefail
deb=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
scratch=$(mktemp -d /tmp/kestrava-package-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
source "$here/check.sh"

root=$scratch/root
dpkg -x "$deb" "$root" || { echo "FAIL: dpkg -x $deb"; exit 1; }

for path in bin/kestrava bin/kestrava-cli share/applications/org.kestrava.Kestrava.desktop \
    share/metainfo/org.kestrava.Kestrava.metainfo.xml \
    share/icons/hicolor/scalable/apps/org.kestrava.Kestrava.svg \
    share/icons/hicolor/48x48/apps/org.kestrava.Kestrava.png \
    share/icons/hicolor/128x128/apps/org.kestrava.Kestrava.png \
    share/icons/hicolor/256x256/apps/org.kestrava.Kestrava.png \
    share/man/man1/kestrava.1.gz share/man/man1/kestrava-cli.1.gz \
    share/bash-completion/completions/kestrava-cli share/zsh/vendor-completions/_kestrava-cli \
    share/fish/vendor_completions.d/kestrava-cli.fish share/doc/kestrava/copyright; do
    check "the package holds /usr/$path" test -s "$root/usr/$path"
done
for size in 48 128 256; do
    check "the ${size}px icon is ${size}x${size}" bash -c \
        'file "$1" | grep -q "PNG image data, $2 x $2"' _ \
        "$root/usr/share/icons/hicolor/${size}x${size}/apps/org.kestrava.Kestrava.png" "$size"
done

check "the package depends on the Wayland plugin and the Qt libraries" bash -c \
    'deps=$(dpkg-deb -f "$1" Depends); [[ $deps == *qt6-wayland* && $deps == *libqt6widgets6* &&
     $deps == *libpcre2-8-0* && $deps != *libpcre3* ]] || { echo "Depends: $deps"; false; }' _ "$deb"

for program in kestrava kestrava-cli; do
    check "$program has no RPATH or RUNPATH" bash -c \
        '! readelf -d "$1" | grep -E "RPATH|RUNPATH"' _ "$root/usr/bin/$program"
done

# The runs: a clean environment, a private home, and the trees this package was built from out
# of sight when a mount namespace is allowed (root, or unprivileged user namespaces).
home=$scratch/home
mkdir -p "$home" "$scratch/tree/sub"
printf 'one kestrel\ntwo\nthree kestrels\n' >"$scratch/tree/a.txt"
printf 'nothing here\n' >"$scratch/tree/sub/b.txt"
printf 'kestrel again\n' >"$scratch/tree/sub/c.md"
clean_env=(env -i PATH="$root/usr/bin:/usr/bin:/bin" HOME="$home" LC_ALL=C.UTF-8
    XDG_RUNTIME_DIR="$scratch" QT_QPA_PLATFORM=offscreen)
hide=()
if unshare --mount --map-root-user true 2>/dev/null; then
    hide=(unshare --mount --map-root-user sh -c
        'mount -t tmpfs none "$0" && exec "$@"' "$repo")
else
    echo "note: no mount namespace here; the source and build trees stay visible"
fi
# Every step execs the next, so the program keeps the first one's process id.
hidden() { "${clean_env[@]}" "${hide[@]}" "$@"; }

trees_hidden() { [[ ${#hide[@]} -eq 0 ]] || hidden test ! -e "$repo/CMakeLists.txt"; }
version_shown() { [[ $(hidden kestrava-cli --version) == "kestrava-cli "[0-9]* ]]; }
small_search() {
    local out
    out=$(hidden kestrava-cli find -d "$scratch/tree<+>" -f '*.txt' -e 'kestrel\w*' \
        --view matches --no-header)
    [[ $out == *$'\nkestrel\nkestrels' && $out != *c.md* ]] || { echo "$out"; false; }
}
nothing_found() {
    hidden kestrava-cli find -d "$scratch/tree" -f '*.txt' -e falcon >/dev/null
    [[ $? -eq 1 ]]
}
check "the build and source trees are out of sight" trees_hidden
check "kestrava-cli --version" version_shown
check "kestrava-cli finds in a small tree" small_search
check "kestrava-cli says 1 when nothing matches" nothing_found

# The window: started offscreen, closed by SIGTERM once its handler is in place; a normal close
# saves the settings, which shows the window came up and ran.
window_runs() {
    "${clean_env[@]}" "${hide[@]}" kestrava &
    local pid=$! i
    for ((i = 0; i < 200; i++)); do # SIGTERM (15) is bit 14 of the caught-signal mask
        mask=$(awk '/^SigCgt/ {print $2}' "/proc/$pid/status" 2>/dev/null) || break
        (((0x$mask >> 14) & 1)) && break
        sleep 0.1
    done
    sleep 1
    kill -TERM "$pid"
    wait "$pid"
    local status=$?
    [[ $status -eq 0 ]] || { echo "exit status $status"; return 1; }
    [[ -s $home/.config/kestrava/KestravaConfig.xml ]] || { echo "no settings saved"; return 1; }
}
check "the window starts offscreen and saves its settings on SIGTERM" window_runs

# Help, version and a wrong option are answered before Qt starts: no display, no platform.
no_display() { env -i PATH="$root/usr/bin:/usr/bin:/bin" HOME="$home" "${hide[@]}" "$@"; }
window_help() {
    [[ $(no_display kestrava --help) == "Usage: kestrava "* &&
       $(no_display kestrava --version) == "kestrava "[0-9]* ]]
}
window_refuses_option() {
    no_display kestrava --no-such-option 2>/dev/null
    [[ $? -eq 2 ]]
}
check "kestrava --help and --version work without a display" window_help
check "kestrava says 2 for an unknown option" window_refuses_option

if command -v lintian >/dev/null; then
    check "lintian finds no error" lintian --fail-on error --tag-display-limit 0 "$deb"
    # Built with dpkg-buildflags' hardening: lintian names any of these it misses.
    check "lintian finds the programs hardened" bash -c 'tags=$(lintian --pedantic --tags \
        hardening-no-relro,hardening-no-fortify-functions,hardening-no-bindnow,hardening-no-pie \
        --tag-display-limit 0 "$1"); [[ -z $tags ]] || { echo "$tags"; false; }' _ "$deb"
else
    check "lintian is installed" false
fi

echo "package: $passed passed, $failed failed"
[[ $failed -eq 0 ]]
