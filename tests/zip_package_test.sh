#!/usr/bin/env bash
# The Windows zip, end to end under wine: built with CPack, it holds exactly
# orasay.exe, TV_ENG32.DLL, espeak-ng-data\, README.txt, COPYRIGHT.txt and
# the licence texts in one folder;
# with wine, unzipped into a folder whose name has blanks and letters outside
# any 8-bit code page, and run from elsewhere, it writes a file and, when a
# sound server is reachable, speaks.
#   zip_package_test.sh CPACK CPACK_CONFIG [WINE]
set -euo pipefail
cpack=$1 config=$2 wine=${3:-}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "zip_package_test: $*" >&2
  exit 1
}

"$cpack" -G ZIP --config "$config" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack failed"; }
zip=$(ls "$work"/out/orasay-*-win*.zip)
echo "zip_package_test: $(basename "$zip"), $(stat -c %s "$zip") bytes"

folder=$(basename "$zip" .zip)
listing=$(cd "$work" && cmake -E tar tf "$zip" | sort)
top=$(sed 's|/.*||' <<<"$listing" | sort -u)
[[ $top == "$folder" ]] || fail "not one folder $folder: $(echo $top)"
files=$(grep -v '/$' <<<"$listing" | sed "s|^$folder/||" | grep -v '^espeak-ng-data/')
[[ $files == $'COPYRIGHT.txt\nLICENSE-Apache-2.0.txt\nLICENSE-LGPL-2.1.txt\nLICENSE.txt\nREADME.txt\nTV_ENG32.DLL\norasay.exe' ]] ||
  fail "unexpected files: $(echo $files)"
for f in phontab phondata phonindex intonations en_dict orasay-manifest; do
  grep -qxF "$folder/espeak-ng-data/$f" <<<"$listing" || fail "espeak-ng-data/$f missing"
done
# COPYRIGHT.txt names every pinned source package with its SHA-256 sums and
# every holder the parts' Debian copyright files give (mingw-w64's installed).
notice=$(cd "$work" && cmake -E tar xf "$zip" "$folder/COPYRIGHT.txt" && tr -d '\r' <"$folder/COPYRIGHT.txt")
while read -r package version _ _ sum; do
  grep -qF "$package $version" <<<"$notice" && grep -qF "$sum" <<<"$notice" || fail "COPYRIGHT.txt lacks $package $version $sum"
done < <(grep -v '^#' "$(dirname "$0")/../third_party/sources.lock")
sources=$(sed -n 's/^ORASAY_SOURCES_DIR:PATH=//p' "$(dirname "$config")/CMakeCache.txt")
copyrights=("$sources"/{libsndfile,libsoxr,espeak-ng,sonic}-*/debian/copyright /usr/share/doc/mingw-w64-common/copyright)
for f in "${copyrights[@]}"; do [[ -f $f ]] || fail "$f missing"; done
holders() { awk -v re="$1" '/^Files:/ { on = $2 ~ re } /^[^ \t]/ { cp = 0 } /^Copyright:/ { cp = on; sub(/^Copyright:/, "") }
  cp { sub(/^[ \t]*[0-9][0-9, \/-]*/, ""); sub(/[ \t".]+$/, ""); if ($0 != "" && $0 != "public-domain") print }' "$2"; }
while read -r holder; do grep -qF "$holder" <<<"$notice" || fail "COPYRIGHT.txt lacks $holder"; done < <(
  holders '^(\*|src/)' "${copyrights[0]}"; holders '^(\*|src/)' "${copyrights[1]}"
  sed -En '/^Copyright Holders:/,/^$/ { s/^(Copyright Holders:)?[[:space:]]*//; s/[[:space:]]+[0-9-]+$//p }' "${copyrights[2]}"
  sed -En 's/^ *Copyright \(C\) [0-9]+ //p' "${copyrights[3]}"
  holders '^(\*|mingw-w64-crt/(gdtoa|misc/basename)|mingw-w64-libraries/winpthreads/(\*|include))' "${copyrights[4]}")

if [[ -z $wine ]]; then
  echo "zip_package_test: contents checked; not run (no wine that runs it)"
  exit 0
fi

place="$work/Programme $(printf '\u0424\u03c9\u03bd\u03ae \u58f0 \u00fc')"
mkdir "$place"
(cd "$place" && cmake -E tar xf "$zip")
exe="$place/$folder/orasay.exe"

# Run from another folder, so that only the DLL's own place leads to the data.
cd /
"$wine" "$exe" -v -f "Z:$work/hello.wav" "Hello from the zip." >"$work/out.txt" 2>"$work/err.txt" ||
  { cat "$work/err.txt"; fail "writing a file failed"; }
grep -q "^phonemes:     h@l'oU" "$work/out.txt" || fail "no phonemes: $(cat "$work/out.txt")"
head -c 4 "$work/hello.wav" | grep -q RIFF || fail "hello.wav is no WAV file"
(($(stat -c %s "$work/hello.wav") > 10000)) || fail "hello.wav is too short"

if pactl info >/dev/null 2>&1; then
  "$wine" "$exe" "Hello." 2>"$work/err.txt" || { cat "$work/err.txt"; fail "speaking failed"; }
  echo "zip_package_test: wrote a file and spoke"
else
  echo "zip_package_test: wrote a file; no sound server to speak to"
fi
