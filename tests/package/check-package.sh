#!/usr/bin/env bash
# The operators' ZIP of a Windows build: exactly the three programs, the guide and SHA256SUMS,
# the sums right, the programs those of the build without debug information, and each
# program's version resource.
# Usage: check-package.sh <windows build folder> <version> <release> <stand-in: 0|1> <work dir>
set -u
build=$1 version=$2 release=$3 standin=$4 work=$5
suffix="" image_set="image set $release"
[ "$standin" = 0 ] || suffix=-stand-in image_set="stand-in image set for $release, simulated unit only"
name=LumivaneFwUpgrade-$version-$release$suffix-win64
zip=$build/$name.zip dir=$work/$name
[ -f "$zip" ] || { echo "no $zip: cmake --build --preset windows --target package"; exit 1; }
status=0
fail() { echo "$*"; status=1; }

files=(LumivaneFwUpgrade.exe LumivaneFwSite.exe LumivaneFwWebPackage.exe OperatorGuide.txt)
diff <(unzip -Z1 "$zip" | sort) <(printf "$name/%s\n" "${files[@]}" SHA256SUMS | sort) || fail "the package does not hold what it should"
rm -rf "$work" && mkdir -p "$work" && unzip -q "$zip" -d "$work" || exit 1
(cd "$dir" && sha256sum "${files[@]}") | diff - "$dir/SHA256SUMS" || fail "SHA256SUMS is not the sums of the four files"
grep -q "^LumivaneFwUpgrade $version - operator's guide" "$dir/OperatorGuide.txt" || fail "no operator's guide for $version"
[ "$(grep -c 'THIS IS A STAND-IN BUILD' "$dir/OperatorGuide.txt")" = "$standin" ] || fail "the guide's stand-in note is wrong"
for program in LumivaneFwUpgrade LumivaneFwSite LumivaneFwWebPackage; do
  # The build's program without its debug information, which stays beside the build.
  SOURCE_DATE_EPOCH=0 x86_64-w64-mingw32-strip -o "$work/$program.stripped" "$build/$program.exe"
  cmp -s "$work/$program.stripped" "$dir/$program.exe" || fail "$program.exe is not the build's, stripped"
  x86_64-w64-mingw32-objdump -h "$dir/$program.exe" | grep -q debug && fail "$program.exe carries debug information"
  x86_64-w64-mingw32-objdump -h "$build/$program.exe" | grep -q debug_info || fail "the build's $program.exe lost its debug information"
  resource=$(x86_64-w64-mingw32-windres -i "$dir/$program.exe" -O rc) || { fail "$program.exe: no resources"; continue; }
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
