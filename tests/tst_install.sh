#!/usr/bin/env bash
# Installs the built project into a temporary staging folder (DESTDIR, prefix /usr) and checks
# what lands there: exactly the expected files, programs that run, and desktop integration files
# that the desktop's own validators accept and that agree with each other, manual pages that
# render without warnings, and the licence in Debian's machine-readable form.
#   tst_install.sh CMAKE BUILD_DIR
set -uo pipefail
. "$(dirname "$0")/../scripts/lib.sh"
cmake_cmd=$1
build_dir=$2
source_dir=$(cd "$(dirname "$0")/.." && pwd)

app_id=$yuv_app_id
icon_sizes=("${yuv_icon_sizes[@]}")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root="$work/root"
desktop="$root/usr/share/applications/$app_id.desktop"
metainfo="$root/usr/share/metainfo/$app_id.metainfo.xml"
mime_xml="$root/usr/share/mime/packages/$app_id.xml"

need_tool() {
    if ! command -v "$1" >/dev/null; then
        echo "  $1 is missing: run scripts/setup" >&2
        return 1
    fi
}

# The value of Key in the [Desktop Entry] group.
desktop_value() {
    sed -n '/^\[Desktop Entry\]/,/^\[/p' "$desktop" | sed -n "s/^$1=//p" | head -n 1
}

# The MIME type the package defines (its one <mime-type type="...">).
defined_mime_type() {
    sed -n 's/.*<mime-type type="\([^"]*\)".*/\1/p' "$mime_xml"
}

install_into_staging() {
    if ! DESTDIR="$root" "$cmake_cmd" --install "$build_dir" --prefix /usr >"$work/install.log" 2>&1; then
        cat "$work/install.log" >&2
        echo "  (cmake --install needs every installed program built: build the whole project)" >&2
        return 1
    fi
}

exactly_the_expected_files() {
    expected_installed_files | sort >"$work/expected"
    (cd "$root" && find . \( -type f -o -type l \) -printf '%P\n' | sort) >"$work/actual"
    diff -u "$work/expected" "$work/actual" >&2
}

no_empty_folders() {
    local empty
    empty=$(find "$root" -mindepth 1 -type d -empty)
    [ -z "$empty" ] || { echo "  empty folders: $empty" >&2; return 1; }
}

installed_programs_run() {
    local p
    for p in tamrel-yuv-player tamrel-yuv-snap; do
        [ -x "$root/usr/bin/$p" ] || { echo "  $p is not executable" >&2; return 1; }
        file -b "$root/usr/bin/$p" | grep -q '^ELF .* executable' ||
            { echo "  $p: $(file -b "$root/usr/bin/$p")" >&2; return 1; }
    done
    # The tool needs no display: the installed copy answers on its own.
    "$root/usr/bin/tamrel-yuv-snap" --help >"$work/help.txt" 2>&1 && grep -q -- '--frames' "$work/help.txt"
}

desktop_file_valid() {
    need_tool desktop-file-validate || return 1
    desktop-file-validate "$desktop" >"$work/dfv.log" 2>&1
    local rc=$?
    cat "$work/dfv.log"
    # Not even a hint: the entry has one main category, so menus list it once.
    [ $rc -eq 0 ] && [ ! -s "$work/dfv.log" ]
}

desktop_entry_fields() {
    local ok=0
    [ "$(desktop_value Type)" = Application ] || { echo "  Type" >&2; ok=1; }
    [ "$(desktop_value Name)" = "Tamrel YUV Player" ] || { echo "  Name" >&2; ok=1; }
    [ "$(desktop_value Exec)" = "tamrel-yuv-player %f" ] || { echo "  Exec" >&2; ok=1; }
    [ "$(desktop_value Terminal)" = false ] || { echo "  Terminal" >&2; ok=1; }
    local categories
    categories=$(desktop_value Categories)
    for c in AudioVideo Video Player; do
        [[ ";$categories" == *";$c;"* ]] || { echo "  category $c missing" >&2; ok=1; }
    done
    return $ok
}

desktop_entry_points_at_installed_files() {
    local ok=0 exec_program icon mime size
    exec_program=$(desktop_value Exec | cut -d' ' -f1)
    [ -x "$root/usr/bin/$exec_program" ] || { echo "  Exec: no $exec_program in bin" >&2; ok=1; }
    [ "$(desktop_value TryExec)" = "$exec_program" ] || { echo "  TryExec" >&2; ok=1; }
    icon=$(desktop_value Icon)
    for size in "${icon_sizes[@]}"; do
        [ -f "$root/usr/share/icons/hicolor/${size}x${size}/apps/$icon.png" ] ||
            { echo "  Icon $icon missing at $size" >&2; ok=1; }
    done
    mime=$(defined_mime_type)
    [ "$(desktop_value MimeType)" = "$mime;" ] ||
        { echo "  MimeType '$(desktop_value MimeType)' is not the package's '$mime'" >&2; ok=1; }
    return $ok
}

metainfo_valid() {
    need_tool appstreamcli || return 1
    appstreamcli validate --no-net "$metainfo" &&
        # The tree check also finds the desktop entry the component launches.
        appstreamcli validate-tree --no-net "$root"
}

metainfo_agrees_with_desktop_entry() {
    local ok=0
    grep -q "<id>$app_id</id>" "$metainfo" || { echo "  id" >&2; ok=1; }
    grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" ||
        { echo "  launchable" >&2; ok=1; }
    grep -q "<icon type=\"stock\">$(desktop_value Icon)</icon>" "$metainfo" ||
        { echo "  icon" >&2; ok=1; }
    grep -q "<mediatype>$(defined_mime_type)</mediatype>" "$metainfo" ||
        { echo "  mediatype" >&2; ok=1; }
    local p
    for p in tamrel-yuv-player tamrel-yuv-snap; do
        grep -q "<binary>$p</binary>" "$metainfo" || { echo "  binary $p" >&2; ok=1; }
    done
    grep -q '<image>https://[^<]*/screenshot.png</image>' "$metainfo" ||
        { echo "  screenshot" >&2; ok=1; }
    return $ok
}

# The MIME package compiles, and the compiled database maps *.yuv to its type.
mime_database_maps_yuv_files() {
    need_tool update-mime-database || return 1
    local type
    type=$(defined_mime_type)
    [[ "$type" == */x-* ]] || { echo "  '$type' is not an unregistered (x-) type" >&2; return 1; }
    mkdir -p "$work/mime/packages"
    cp "$mime_xml" "$work/mime/packages/"
    update-mime-database "$work/mime" >&2 || return 1
    grep -q ":$type:\*\.yuv\$" "$work/mime/globs2" ||
        { echo "  globs2 has no *.yuv for $type:" >&2; cat "$work/mime/globs2" >&2; return 1; }
}

# No other MIME package on this machine defines the same type name.
mime_type_name_is_ours() {
    local type other
    type=$(defined_mime_type)
    other=$(grep -l "type=\"$type\"" /usr/share/mime/packages/*.xml 2>/dev/null |
        grep -v "/$app_id.xml\$")
    [ -z "$other" ] || { echo "  $type is also defined by: $other" >&2; return 1; }
}

# Each program's page is there, renders with no warning from groff, and names its program.
manual_pages_render() {
    need_tool groff || return 1
    local ok=0 program page
    for program in tamrel-yuv-player tamrel-yuv-snap; do
        page="$work/$program.1"
        zcat "$root/usr/share/man/man1/$program.1.gz" >"$page" || { ok=1; continue; }
        LC_ALL=C.UTF-8 groff -man -ww -z "$page" 2>"$work/groff.log" || ok=1
        [ ! -s "$work/groff.log" ] || { sed "s|^|  $program: |" "$work/groff.log" >&2; ok=1; }
        sed 's/\\-/-/g' "$page" | grep -c "^$program - " >/dev/null ||
            { echo "  $program: no NAME line for the program" >&2; ok=1; }
    done
    return $ok
}

# The player's page and the README show the same controls: every row of docs/controls.tsv.
controls_in_page_and_readme() {
    local ok=0 keys action
    zcat "$root/usr/share/man/man1/tamrel-yuv-player.1.gz" | sed 's/\\-/-/g' >"$work/player.1"
    while IFS=$'\t' read -r keys action; do
        grep -A1 -xF ".B $keys" "$work/player.1" | grep -qxF "$action" ||
            { echo "  page lacks: $keys" >&2; ok=1; }
        grep -qxF "| $keys | $action |" "$source_dir/README.md" ||
            { echo "  README lacks: | $keys | $action |" >&2; ok=1; }
    done <"$source_dir/docs/controls.tsv"
    return $ok
}

copyright_is_machine_readable() {
    local copyright="$root/usr/share/doc/$yuv_package/copyright"
    head -n 1 "$copyright" |
        grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' &&
        grep -qx 'License: Expat' "$copyright" &&
        grep -q 'Tamrel YUV Player developers' "$copyright"
}

icons_have_their_sizes() {
    local ok=0 size f info
    for size in "${icon_sizes[@]}"; do
        f="$root/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
        info=$(file -b "$f")
        [[ "$info" == "PNG image data, $size x $size, 8-bit/color RGBA"* ]] ||
            { echo "  $size: $info" >&2; ok=1; }
    done
    return $ok
}

check "install-into-staging-folder" install_into_staging
check "exactly-the-expected-files" exactly_the_expected_files
check "no-empty-folders" no_empty_folders
check "installed-programs-run" installed_programs_run
check "desktop-file-validate" desktop_file_valid
check "desktop-entry-fields" desktop_entry_fields
check "desktop-entry-points-at-installed-files" desktop_entry_points_at_installed_files
check "appstreamcli-validate" metainfo_valid
check "metainfo-agrees-with-desktop-entry" metainfo_agrees_with_desktop_entry
check "mime-database-maps-yuv-files" mime_database_maps_yuv_files
check "mime-type-name-is-ours" mime_type_name_is_ours
check "icons-have-their-sizes" icons_have_their_sizes
check "manual-pages-render" manual_pages_render
check "controls-in-page-and-readme" controls_in_page_and_readme
check "copyright-is-machine-readable" copyright_is_machine_readable

finish_checks Totals
