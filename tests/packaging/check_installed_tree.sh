#!/usr/bin/env bash
# Checks an installed tree as a user of it would: PREFIX is the installed prefix (ROOT/usr for an
# extracted package). The programs run with nothing in the environment but PATH and HOME, so they
# must find their plug-in and libraries from their own location.
#   check_installed_tree.sh PREFIX SOURCE_DIR
set -euo pipefail
prefix=$(realpath "$1")
source_dir=$2
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
bare() { env -i PATH=/usr/bin:/bin HOME="$home" "$@"; }

# The private library folder, below the multiarch folder where the build had one.
libdir=$(cd "$prefix" && find lib -maxdepth 2 -type d -name lumeta | head -1)
[[ -n $libdir ]] || fail "no library folder lib/*/lumeta"
for file in bin/lumeta bin/lumeta-desktop $libdir/lumeta_actionproperty.so $libdir/lumeta_attributefactories.so \
            $libdir/lumeta_taskprogram.so share/applications/lumeta-desktop.desktop share/mime/packages/lumeta.xml \
            share/icons/hicolor/scalable/apps/lumeta-desktop.svg share/man/man1/lumeta.1.gz share/man/man1/lumeta-desktop.1.gz; do
  [[ -e $prefix/$file ]] || fail "$file is not installed"
done
leftovers=$(find "$prefix" \( -name '*.a' -o -name '*.h' \) -print)
[[ -z $leftovers ]] || fail "headers or static libraries installed: $leftovers"

# The table of the example map, the same as the build's own program shows it.
table=$(bare "$prefix/bin/lumeta" "$source_dir/examples/launch.xml" -c show) || fail "lumeta show failed"
[[ $(head -1 <<<"$table") == "ID Title"*"Start"*"Due"*"Status"*"Priority" ]] || fail "no table header: $table"
grep -q '^ 4   Pricing study        2025-09-08 2025-09-12 2025-09-11   4 days 100 Completed    0 days yes      High$' <<<"$table" ||
  fail "the example's rows are missing: $table"
[[ $(wc -l <<<"$table") -eq 26 ]] || fail "expected 26 lines of table, got $(wc -l <<<"$table")"

plugins=$(bare "$prefix/bin/lumeta" plugins) || fail "lumeta plugins failed"
[[ $(head -1 <<<"$plugins") == "Plug-in library: $prefix/$libdir/lumeta_actionproperty.so" ]] ||
  fail "lumeta plugins did not load the installed plug-in: $plugins"
grep -q '^Action List {B7D51A23-79ED-45D0-B7A6-CFD330FC2256}' <<<"$plugins" || fail "no Action List manager: $plugins"

# The window opens the map it is given (rendered offscreen).
bare "$prefix/bin/lumeta-desktop" --screenshot "$home/window.png" "$source_dir/examples/launch.xml" ||
  fail "lumeta-desktop did not open the example map"
[[ -s $home/window.png ]] || fail "lumeta-desktop wrote no picture"

for page in lumeta lumeta-desktop; do
  rendered=$(MANWIDTH=80 man -l "$prefix/share/man/man1/$page.1.gz" 2>&1) || fail "man -l $page: $rendered"
  grep -q "^NAME" <<<"$rendered" || fail "$page(1) renders no NAME section: $rendered"
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' man --warnings -E UTF-8 -l "$prefix/share/man/man1/$page.1.gz" 2>&1 >/dev/null) || true
  [[ -z $warnings ]] || fail "$page(1) has formatting warnings: $warnings"
done

# The map type compiles into a MIME database and is told by its root element.
mkdir -p "$home/mime/packages"
cp /usr/share/mime/packages/freedesktop.org.xml "$prefix/share/mime/packages/lumeta.xml" "$home/mime/packages/"
output=$(update-mime-database "$home/mime" 2>&1) || fail "update-mime-database rejects the map type: $output"
grep -qx ' Map application/x-lumeta-map' "$home/mime/XMLnamespaces" || fail "the map type is not told by its root element"
grep -q '^Exec=lumeta-desktop %f$' "$prefix/share/applications/lumeta-desktop.desktop" || fail "the menu entry passes no file"

desktop-file-validate "$prefix/share/applications/lumeta-desktop.desktop" || fail "desktop-file-validate"
echo "installed tree at $prefix: ok"
