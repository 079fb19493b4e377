#!/usr/bin/env bash
# The operators' ZIP of a Windows build: exactly the two programs, the guide and SHA256SUMS,
# the sums right, the programs those of the build, and each program's version resource.
# Usage: check-package.sh <windows build folder> <version> <release> <stand-in: 0|1> <work dir>
set -u
build=$1 version=$2 release=$3 standin=$4 work=$5
suffix=""
[ "$standin" = 1 ] && suffix=-stand-in
name=LumivaneFwUpgrade-$version-$release$suffix-win64
zip=$build/$name.zip
[ -f "$zip" ] || { echo "no $zip: cmake --build --preset windows --target package"; exit 1; }
status=0
fail() { echo "$*"; status=1; }

diff <(unzip -Z1 "$zip" | sort) <(printf "$name/%s\n" LumivaneFwUpgrade.exe LumivaneFwWebPackage.exe \
  OperatorGuide.txt SHA256SUMS) || fail "the package does not hold what it should"
rm -rf "$work" && mkdir -p "$work" && unzip -q "$zip" -d "$work" || exit 1
(cd "$work/$name" && sha256sum --check --strict SHA256SUMS) || fail "SHA256SUMS does not match the files"
[ "$(cut -c67- "$work/$name/SHA256SUMS")" = "$(printf '%s\n' LumivaneFwUpgrade.exe LumivaneFwWebPackage.exe OperatorGuide.txt)" ] ||
  fail "SHA256SUMS does not cover the three files"
grep -q "^LumivaneFwUpgrade $version - operator's guide" "$work/$name/OperatorGuide.txt" || fail "no operator's guide for $version"
[ "$(grep -c 'THIS IS A STAND-IN BUILD' "$work/$name/OperatorGuide.txt")" = "$standin" ] || fail "the guide's stand-in note is wrong"

image_set="image set $release"
[ "$standin" = 1 ] && image_set="stand-in image set for $release, simulated unit only"
for program in LumivaneFwUpgrade LumivaneFwWebPackage; do
  cmp -s "$build/$program.exe" "$work/$name/$program.exe" || fail "$program.exe is not the build's"
  resource=$(x86_64-w64-mingw32-windres -i "$work/$name/$program.exe" -O rc) || { fail "$program.exe: no resources"; continue; }
  for line in " FILEVERSION ${version//./, }, 0" " PRODUCTVERSION ${version//./, }, 0" \
      "      VALUE \"ProductName\", \"Lumivane 6G-SDI extender firmware update\"" \
      "      VALUE \"ProductVersion\", \"$version\"" "      VALUE \"FileVersion\", \"$version\"" \
      "      VALUE \"OriginalFilename\", \"$program.exe\""; do
    grep -qxF "$line" <<<"$resource" || fail "$program.exe: no '$line' in its version resource"
  done
  grep -qE "^      VALUE \"FileDescription\", \".*, $image_set\"$" <<<"$resource" ||
    fail "$program.exe: its description does not name the $image_set"
done
[ $status -eq 0 ] && rm -rf "$work"
exit $status
