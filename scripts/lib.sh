# Shell code shared by the scripts and the shell tests. Source it: it only defines functions and
# variables.
#   . "$(dirname "$0")/lib.sh"          (from scripts/)
#   . "$(dirname "$0")/../scripts/lib.sh" (from tests/)

yuv_package=tamrel-yuv-player
yuv_app_id=org.example.TamrelYUVPlayer
yuv_icon_sizes=(16 24 32 48 64 128 256)

yuv_source_dir=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# --- Running as root, building ------------------------------------------------------------------

# Runs a command as root: as it is when we are root, through sudo otherwise.
as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# apt-get as root, quiet and without questions.
apt_get() {
    as_root env DEBIAN_FRONTEND=noninteractive apt-get -q "$@"
}

# build_targets DIR [CMAKE_ARGUMENT...] -- TARGET...: configures DIR (RelWithDebInfo, plus the
# arguments) unless it was configured before, then builds the targets there.
build_targets() {
    local dir=$1 args=()
    shift
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
        args+=("$1")
        shift
    done
    shift
    [ -f "$dir/CMakeCache.txt" ] ||
        cmake -S "$yuv_source_dir" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${args[@]}" >/dev/null
    cmake --build "$dir" -j"$(nproc)" --target "$@"
}

# use_private_settings FOLDER: the player's settings store and Qt's runtime folder go under FOLDER
# from now on, so that neither the user's own settings nor an earlier run reach the program.
use_private_settings() {
    export XDG_CONFIG_HOME="$1/config"
    export XDG_RUNTIME_DIR="$1/runtime"
    mkdir -p "$XDG_CONFIG_HOME"
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
}

# --- Debian packages, by what they are needed for -----------------------------------------------

# The Debian packages of one profile:
#   run        build and run the player: compiler, CMake, Qt 6, OpenGL; python3 makes the sample clip
#   test       what the tests add: Xvfb, the X tools that drive and photograph the window, the
#              desktop-integration validators, the manual-page renderer
#   bench      what the benchmarks add: Google Benchmark, the peers they measure against, Xlib
#   package    building and checking the Debian package
#   fuzz       clang with libFuzzer and the sanitizer runtimes, and LLVM's coverage tools
#   valgrind   the memory checker
#   format     the code formatter
profile_packages() {
    case $1 in
    run) echo cmake g++ make qt6-base-dev libqt6opengl6-dev qt6-qpa-plugins libgl-dev \
        libglu1-mesa-dev libgl1-mesa-dri python3 ;;
    test) echo xvfb xauth xdotool imagemagick desktop-file-utils appstream shared-mime-info file \
        groff-base ;;
    bench) echo pkg-config libbenchmark-dev libyuv-dev libswscale-dev libavutil-dev ffmpeg \
        libx11-dev ;;
    package) echo dpkg-dev lintian ;;
    fuzz) echo clang libclang-rt-dev llvm ;;
    valgrind) echo valgrind ;;
    format) echo clang-format ;;
    *)
        echo "unknown package profile: $1" >&2
        return 1
        ;;
    esac
}

# Installs the named Debian packages that are not installed yet (through sudo when not root).
# Touches apt only when something is missing.
install_packages() {
    local p missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$p")
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    echo "Installing: ${missing[*]}"
    apt_get update && apt_get install -y --no-install-recommends "${missing[@]}"
}

# Installs every package of the named profiles.
install_profiles() {
    local profile list packages=()
    for profile in "$@"; do
        list=$(profile_packages "$profile") || return 1
        read -r -a list_array <<<"$list"
        packages+=("${list_array[@]}")
    done
    install_packages "${packages[@]}"
}

# --- Checks with a PASS/FAIL line each and a closing count --------------------------------------

checks_passed=0
checks_failed=0

# check NAME COMMAND...: runs the command; it holds when the command succeeds.
check() {
    local name=$1
    shift
    if "$@"; then
        echo "PASS   : $name"
        checks_passed=$((checks_passed + 1))
    else
        echo "FAIL!  : $name"
        checks_failed=$((checks_failed + 1))
    fi
}

# Prints "LABEL: N passed, M failed" and exits 0 only when no check failed.
finish_checks() {
    echo "${1:-Totals}: $checks_passed passed, $checks_failed failed"
    [ "$checks_failed" -eq 0 ] && exit 0
    exit 1
}

# --- What an installation holds -----------------------------------------------------------------

# Every file `cmake --install` and the Debian package put under the prefix /usr, relative to /.
expected_installed_files() {
    local size doc=usr/share/doc/$yuv_package
    echo usr/bin/tamrel-yuv-player
    echo usr/bin/tamrel-yuv-snap
    echo "usr/share/applications/$yuv_app_id.desktop"
    echo "usr/share/metainfo/$yuv_app_id.metainfo.xml"
    echo "usr/share/mime/packages/$yuv_app_id.xml"
    for size in "${yuv_icon_sizes[@]}"; do
        echo "usr/share/icons/hicolor/${size}x${size}/apps/$yuv_app_id.png"
    done
    echo usr/share/man/man1/tamrel-yuv-player.1.gz
    echo usr/share/man/man1/tamrel-yuv-snap.1.gz
    echo "$doc/copyright"
    echo "$doc/changelog.gz"
}

# --- The player under X -------------------------------------------------------------------------

# Runs a command under its own Xvfb server with the screen the tests and scripts assume.
with_xvfb() {
    xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
}

# Waits for the player's parameters dialog, focuses it and presses Return. The key goes through the
# X test extension to the focused window: a key event sent to the dialog's window itself fails on
# the release, because the press already closed the window.
accept_parameters_dialog() {
    timeout "${1:-30}" xdotool search --sync --name '^Parameters$' windowfocus --sync >/dev/null &&
        xdotool key Return
}
