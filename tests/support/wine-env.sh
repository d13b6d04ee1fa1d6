# Shared by the scripts that run Windows programs of a build under Wine.

# Makes the Wine prefix $WINEPREFIX (new or not) ready for Omnora's windows.
omnora_prepare_prefix() {
  wineboot -i >/dev/null 2>&1
  # Xvfb has no window manager: unmanaged windows spare Wine its wait
  # (2 s per hidden top-level window) for one to answer.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wineserver -w
  omnora_link_marlett
  omnora_replace_fonts
}

# Caption buttons (minimise, maximise, close) are glyphs of the Marlett font.
# Debian's Wine 8 never reads the fonts of its own data folder, where the
# package fonts-wine puts Marlett, so the buttons showed as the letters
# "0 1 r". Wine does read the prefix's Fonts folder at every start: a link
# there to the packaged font is enough, also for a prefix made earlier.
omnora_link_marlett() {
  marlett=/usr/share/wine/fonts/marlett.ttf
  fonts="$WINEPREFIX/drive_c/windows/Fonts"
  [ -f "$marlett" ] || { echo "Marlett is missing: install fonts-wine (scripts/setup)" >&2; return 0; }
  [ -e "$fonts/marlett.ttf" ] || { mkdir -p "$fonts" && ln -sf "$marlett" "$fonts/marlett.ttf"; }
}

# The texts' default fonts are "Courier New", which Debian's Wine lacks: it
# then falls back to a proportional face, lines no longer end at the column
# of the editor's guide line, and columns of figures do not line up. Wine
# takes a monospaced face of the system in its place.
omnora_replace_fonts() {
  [ -f "$WINEPREFIX/.omnora-fonts" ] && return 0
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "Courier New" /d "DejaVu Sans Mono" /f >/dev/null 2>&1 \
    && touch "$WINEPREFIX/.omnora-fonts"
}

# A window test runs in one of the build tree's display slots: a Wine prefix
# and an Xvfb of its own, so that window tests in other slots run beside it
# without sharing a foreground window, a focus or the pointer. Slot 0 (or
# none) is the build tree's default prefix and display.
omnora_slot_suffix() {
  case "$1" in ""|0) ;; *) printf -- "-%s" "$1" ;; esac
}

# The build tree's own Wine prefix for slot $2, created once (several
# callers may race).
omnora_wine_prefix() {
  build_dir=$1
  suffix=$(omnora_slot_suffix "$2")
  export WINEPREFIX="$build_dir/wineprefix$suffix"
  export WINEDEBUG="${WINEDEBUG:--all}"
  # No Mono or Gecko prompts, no menu entries.
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  if [ -f "$WINEPREFIX/.omnora-ready" ]; then
    omnora_link_marlett
    omnora_replace_fonts
    return 0
  fi
  mkdir -p "$build_dir"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.omnora-ready" ]; then
      omnora_prepare_prefix 9>&-
      touch "$WINEPREFIX/.omnora-ready"
    fi
  ) 9>"$build_dir/wineprefix$suffix.lock"
  [ -f "$WINEPREFIX/.omnora-ready" ]
}

# One Xvfb per build tree and slot ($2) on a free display number, started on
# first use.
omnora_shared_display() {
  build_dir=$1
  xvfb="$build_dir/xvfb$(omnora_slot_suffix "$2")"
  (
    flock 8
    if [ -f "$xvfb.pid" ] && kill -0 "$(cat "$xvfb.pid")" 2>/dev/null \
       && [ -s "$xvfb.display" ]; then
      exit 0
    fi
    rm -f "$xvfb.display"
    # Detached from the caller, so it outlives the program that started it.
    setsid Xvfb -displayfd 7 -screen 0 1280x1024x24 -nolisten tcp -noreset \
      7>"$xvfb.display" 8>&- >/dev/null 2>&1 < /dev/null &
    echo $! > "$xvfb.pid"
    i=0
    while [ ! -s "$xvfb.display" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i+1)); done
    [ -s "$xvfb.display" ]
  ) 8>"$xvfb.lock" || return 1
  DISPLAY=":$(head -n1 "$xvfb.display")"
  export DISPLAY
}

# Stops every slot's display and Wine server of the build tree.
omnora_stop_shared_display() {
  build_dir=$1
  for pidfile in "$build_dir"/xvfb.pid "$build_dir"/xvfb-*.pid; do
    [ -f "$pidfile" ] || continue
    kill "$(cat "$pidfile")" 2>/dev/null || true
    rm -f "$pidfile" "${pidfile%.pid}.display"
  done
  for prefix in "$build_dir"/wineprefix "$build_dir"/wineprefix-*; do
    # A prefix whose server has already gone idle and quit makes -k fail;
    # that must not become the exit status of the test run.
    [ -d "$prefix" ] && { WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true; }
  done
  true
}
