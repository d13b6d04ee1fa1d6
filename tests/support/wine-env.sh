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

# The build tree's own Wine prefix, created once (several callers may race).
omnora_wine_prefix() {
  build_dir=$1
  export WINEPREFIX="$build_dir/wineprefix"
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
  ) 9>"$build_dir/wineprefix.lock"
  [ -f "$WINEPREFIX/.omnora-ready" ]
}

# One Xvfb per build tree on a free display number, started on first use.
omnora_shared_display() {
  build_dir=$1
  (
    flock 8
    if [ -f "$build_dir/xvfb.pid" ] && kill -0 "$(cat "$build_dir/xvfb.pid")" 2>/dev/null \
       && [ -s "$build_dir/xvfb.display" ]; then
      exit 0
    fi
    rm -f "$build_dir/xvfb.display"
    # Detached from the caller, so it outlives the program that started it.
    setsid Xvfb -displayfd 7 -screen 0 1280x1024x24 -nolisten tcp -noreset \
      7>"$build_dir/xvfb.display" 8>&- >/dev/null 2>&1 < /dev/null &
    echo $! > "$build_dir/xvfb.pid"
    i=0
    while [ ! -s "$build_dir/xvfb.display" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i+1)); done
    [ -s "$build_dir/xvfb.display" ]
  ) 8>"$build_dir/xvfb.lock" || return 1
  DISPLAY=":$(head -n1 "$build_dir/xvfb.display")"
  export DISPLAY
}

omnora_stop_shared_display() {
  build_dir=$1
  [ -f "$build_dir/xvfb.pid" ] && kill "$(cat "$build_dir/xvfb.pid")" 2>/dev/null
  rm -f "$build_dir/xvfb.pid" "$build_dir/xvfb.display"
}
