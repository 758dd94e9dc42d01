#!/usr/bin/env bash
# Builds the release packages from a build tree, unpacks the tarball into a folder of its own
# (with a space in its path) and the .deb into a scratch root, and runs the programs from both as
# a user would: the app's command line, the permission helper and one file transcription.
# Usage: package_check.sh BUILD_DIR [FALLBACK_BUILD_DIR]
set -euo pipefail
build=$(realpath -m "$1")
if [[ ! -f "$build/CPackConfig.cmake" && $# -ge 2 ]]; then
    build=$(realpath "$2")
fi
echo "package check: packing $build"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() {
    echo "package check: $*" >&2
    exit 1
}

cpack --config "$build/CPackConfig.cmake" -G "TGZ;DEB" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
tarball=$(ls "$scratch"/out/ambrel-*-linux-*.tar.gz)
deb=$(ls "$scratch"/out/ambrel_*.deb)

# The tarball: one folder, named like the tarball, that runs wherever it is unpacked.
mkdir -p "$scratch/My Apps"
tar -xzf "$tarball" -C "$scratch/My Apps"
release="$scratch/My Apps/$(basename "$tarball" .tar.gz)"
[[ -d $release ]] || fail "the tarball holds no $(basename "$release") folder"
for file in bin/ambrel libexec/ambrel/tapprobe share/applications/org.ambrel.Ambrel.desktop \
    share/icons/hicolor/scalable/apps/org.ambrel.Ambrel.svg share/metainfo/org.ambrel.Ambrel.metainfo.xml; do
    [[ -e "$release/$file" ]] || fail "the tarball lacks $file"
done

# The .deb: its files under /usr, and what it needs from the system.
dpkg-deb -x "$deb" "$scratch/root"
[[ -x "$scratch/root/usr/bin/ambrel" && -x "$scratch/root/usr/libexec/ambrel/tapprobe" ]] ||
    fail "the .deb lacks /usr/bin/ambrel or /usr/libexec/ambrel/tapprobe"
[[ $(dpkg-deb -f "$deb" Package) == ambrel ]] || fail "the .deb is not called ambrel"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in libqt6widgets6 libpulse0 libpocketsphinx3 libsodium23 pocketsphinx-en-us; do
    [[ $depends == *"$needed"* ]] || fail "the .deb does not depend on $needed: $depends"
done

espeak-ng -s 140 -w "$scratch/hello.wav" "Good morning. The weather today is sunny and warm."

run_from() { # PREFIX NAME
    local prefix=$1 name=$2 home="$scratch/home-$2"
    mkdir -p "$home"
    local -a environment=(env -i "HOME=$home" "PATH=/usr/bin:/bin" "LANG=C.UTF-8")
    # Read whole before matching: grep -q leaving early would break the pipe under pipefail.
    local said
    said=$("${environment[@]}" "$prefix/bin/ambrel" --version) || fail "$name: ambrel --version"
    grep -q '^Ambrel [0-9]' <<<"$said" || fail "$name: ambrel --version said: $said"
    said=$("${environment[@]}" "$prefix/bin/ambrel" --help) || fail "$name: ambrel --help"
    grep -q 'ambrel transcribe' <<<"$said" || fail "$name: ambrel --help lacks transcribe"
    local answer
    answer=$("${environment[@]}" "$prefix/libexec/ambrel/tapprobe")
    [[ $answer =~ ^systemAudio=[a-zA-Z]+\ microphone=[a-zA-Z]+$ ]] ||
        fail "$name: tapprobe said '$answer'"
    local lines
    lines=$("${environment[@]}" "$prefix/bin/ambrel" transcribe --folder "$home/Transcripts" \
        --language en-US "$scratch/hello.wav") || fail "$name: transcribe failed"
    # Recognition quality is the speech tests' business; here it matters that words came out.
    grep -q '^\[0:0[0-9]\] [[:alpha:]]' <<<"$lines" || fail "$name: transcribe heard nothing: $lines"
    [[ -f $(tail -n 1 <<<"$lines") ]] || fail "$name: no session file: $lines"
    echo "$name: ok ($answer)"
}
run_from "$release" tarball
run_from "$scratch/root/usr" deb
