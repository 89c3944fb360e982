# Shared Wine set-up for the tests, the benchmarks and the run command. Source it.
# Every prefix is private, 64-bit, reports Windows 10 and draws nothing (null graphics
# driver) unless a caller switches the driver back for screenshots.

export WINEDEBUG=-all
export WINEARCH=win64
# Keeps Wine from writing desktop entries into the Linux home and from looking for
# its .NET and HTML engines.
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=;mshtml="

# Starts a persistent wineserver for $1 and boots the prefix with every standard
# stream detached, so that no later process inherits a pipe of ours. When
# $TVX_DESKTOP_KEEPER names a built program, it is started in the prefix and kept
# running until the wineserver stops (see tests/tools/tool_DesktopKeeper.cpp).
tvx_prefix_up() {
  WINEPREFIX="$1" wineserver -p </dev/null >/dev/null 2>&1 || true
  WINEPREFIX="$1" wine wineboot </dev/null >/dev/null 2>&1 || true
  if [ -n "${TVX_DESKTOP_KEEPER:-}" ] && [ -f "$TVX_DESKTOP_KEEPER" ]; then
    (cd / && WINEPREFIX="$1" setsid wine "$TVX_DESKTOP_KEEPER" </dev/null >/dev/null 2>&1 &)
  fi
}

tvx_prefix_down() {
  WINEPREFIX="$1" wineserver -k </dev/null >/dev/null 2>&1 || true
  WINEPREFIX="$1" wineserver -w </dev/null >/dev/null 2>&1 || true
}

# Makes the Wine programs started after it run in the Linux locale $1, from which Wine
# takes the Windows user locale and code pages: hi_IN.UTF-8 has no ANSI code page and
# gives 65001 (UTF-8) for both, cy_GB.UTF-8 the Welsh collation. The locale is built
# once into the build folder with localedef (its sources come with the package locales).
tvx_use_locale() {
  local name="$1" dir="${TVX_BUILD_DIR:?}/locales"
  mkdir -p "$dir"
  (
    flock 8
    [ -d "$dir/$name" ] || localedef -i "${name%%.*}" -f UTF-8 "$dir/$name" >/dev/null 2>&1 ||
      { echo "cannot build the locale $name" >&2; exit 1; }
  ) 8>"$dir.lock" || return 1
  export LOCPATH="$dir" LC_ALL="$name"
}

# A prefix links the account's Desktop, Documents, Downloads, Music, Pictures and Videos
# to the Linux home folder: a shortcut or file that a test writes there would land
# outside the prefix, in a folder that every prefix and every run shares. Each becomes a
# folder of the prefix's own, which Wine keeps at later boots.
tvx_prefix_own_folders() {
  local link
  for link in "$1"/drive_c/users/*/{Desktop,Documents,Downloads,Music,Pictures,Videos}; do
    [ -L "$link" ] || continue
    rm "$link" && mkdir "$link"
  done
}

# Creates the prefix $1 once; a finished prefix carries the stamp file .tvx-ready.
tvx_prefix_create() {
  local prefix="$1"
  [ -d "$prefix" ] && tvx_prefix_own_folders "$prefix"
  [ -f "$prefix/.tvx-ready" ] && return 0
  rm -rf "$prefix"
  mkdir -p "$(dirname "$prefix")"
  WINEPREFIX="$prefix" wineserver -p </dev/null >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wine wineboot --init </dev/null >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wine reg add 'HKCU\Software\Wine' /v Version /d win10 /f </dev/null >/dev/null 2>&1 || true
  WINEPREFIX="$prefix" wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1 || true
  tvx_prefix_down "$prefix"
  tvx_prefix_own_folders "$prefix"
  touch "$prefix/.tvx-ready"
}

# True when a wineserver serves the prefix $1: its working folder is named after the
# device and inode of the prefix folder.
tvx_server_running() {
  local id pid
  [ -d "$1" ] || return 1
  id=$(printf 'server-%x-%x' $(stat -c '%d %i' "$1"))
  for pid in $(pgrep -x 'wineserver64|wineserver'); do
    [ "$(basename "$(readlink "/proc/$pid/cwd" 2>/dev/null)")" = "$id" ] && return 0
  done
  return 1
}

# Makes sure the prefix $1 exists and has a running, booted wineserver.
tvx_prefix_ensure_up() {
  local prefix="$1"
  tvx_server_running "$prefix" && return 0
  mkdir -p "$(dirname "$prefix")"
  (
    flock 9
    tvx_prefix_create "$prefix"
    tvx_server_running "$prefix" || tvx_prefix_up "$prefix"
  ) 9>"$prefix.lock"
}

tvx_prefix_stop() {
  tvx_prefix_down "$1"
}

# Runs "$@" with WINEPREFIX set to a fresh, booted copy of the pristine prefix $TVX_BASE_PREFIX,
# and removes the copy afterwards. At most $TVX_MAX_COPIES copies exist at once (about
# 700 MB each); a caller waits for a free slot.
tvx_with_fresh_prefix() {
  local slots="${TVX_MAX_COPIES:-2}" dir="${TVX_COPIES_DIR:?}" i rc=0
  mkdir -p "$dir"
  while :; do
    for ((i = 0; i < slots; i++)); do
      exec {lockfd}>"$dir/slot$i.lock"
      if flock -n "$lockfd"; then
        local copy="$dir/slot$i"
        tvx_prefix_down "$copy"
        rm -rf "$copy"
        cp -a "$TVX_BASE_PREFIX" "$copy"
        tvx_prefix_up "$copy"
        WINEPREFIX="$copy" "$@" || rc=$?
        tvx_prefix_down "$copy"
        rm -rf "$copy"
        flock -u "$lockfd"
        exec {lockfd}>&-
        return $rc
      fi
      exec {lockfd}>&-
    done
    sleep 0.5
  done
}
