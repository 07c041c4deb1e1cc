#!/usr/bin/env bash
# Checks the Windows ZIP archive that CPack makes from a MinGW build:
#   check-zip.sh BUILD_DIR x86|x64
# The archive must hold the DLL, the import library, the headers, ktu.exe, the
# licence and the README; the DLL is a stripped Release build. For x86 the DLL's export table is checked and a C
# caller that declares KsUtils_getVersion __stdcall is linked against the
# import library from the archive (tests/windows/check-dll.cmake).
set -euo pipefail
build=$1 width=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/ktu_zip_XXXXXX")
trap 'rm -rf "$work"' EXIT

rm -rf "$build/packages"
(cd "$build" && cpack -G ZIP > "$work/cpack.log") || { cat "$work/cpack.log"; exit 1; }
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
top=KS_TU_UtilityClasses_V4-$version-windows-$width
zip=$build/packages/$top.zip
[ "$version" = 4.02 ] && [ -f "$zip" ] || { echo "check-zip: no $zip"; exit 1; }
unzip -Z1 "$zip" > "$work/list"
for file in bin/KS_TU_UtilityClasses_V4.dll lib/KS_TU_UtilityClasses_V4.lib bin/ktu.exe LICENSE.txt README.txt \
    include/KS_TU_UtilityClasses_V4/KSUtilityClasses.h include/KS_TU_UtilityClasses_V4/ktuExport.h \
    lib/cmake/KS_TU_UtilityClasses_V4/KS_TU_UtilityClasses_V4Config.cmake; do
  grep -qx "$top/$file" "$work/list" || { echo "check-zip: $width archive lacks $file"; exit 1; }
done
if grep -q '\.so\|ktu_tests_\|gtest\|gmock' "$work/list"; then
  echo "check-zip: $width archive holds files that are not for Windows users"; exit 1
fi

unzip -q "$zip" -d "$work"
pkg=$work/$top
triple=$([ "$width" = x86 ] && echo i686 || echo x86_64)-w64-mingw32
if ! grep -x 'CMAKE_BUILD_TYPE:STRING=Release' "$build/CMakeCache.txt" > /dev/null ||
   "$triple-objdump" -h "$pkg/bin/KS_TU_UtilityClasses_V4.dll" | grep '\.debug_' > /dev/null; then
  echo "check-zip: the $width DLL is not a stripped Release build"; exit 1
fi
grep "Itanium" "$pkg/README.txt" > /dev/null || { echo "check-zip: the README does not name the C++ ABI"; exit 1; }
if [ "$width" = x86 ]; then
  i686-w64-mingw32-gcc-posix -Wall -Werror -I"$pkg/include/KS_TU_UtilityClasses_V4" "$here/stdcall_client.c" \
    "$pkg/lib/KS_TU_UtilityClasses_V4.lib" -o "$work/stdcall_client.exe"
  cmake -D OBJDUMP=i686-w64-mingw32-objdump -D DLL="$pkg/bin/KS_TU_UtilityClasses_V4.dll" \
        -D CLIENT="$work/stdcall_client.exe" -P "$here/check-dll.cmake"
fi
echo "zip $width ok"
