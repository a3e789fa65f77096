# Wine for the project: a private prefix under the build folder, made on first use.
# Source this file, then call wine_env PREFIX and wine_prefix_ready.

wine_env() {
  export WINEPREFIX="$1"
  export WINEDEBUG=-all
  export WINEARCH=win64
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # Keep Wine's menu builder and desktop files inside the prefix, never in the home folder.
  export XDG_DATA_HOME="$WINEPREFIX/xdg-data"
  export XDG_CONFIG_HOME="$WINEPREFIX/xdg-config"
  mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME"
  # Wine names files on the Linux side in the locale's character set: outside a UTF-8 locale
  # (LANG unset, as in a bare container) a folder with a Chinese name cannot be made at all.
  # A UTF-8 locale the machine has (such as zh_CN.UTF-8, which gives Wine the Chinese code
  # page) stays as it is; anything else, a UTF-8 name the machine lacks included, becomes
  # C.UTF-8. `locale charmap` answers for LC_ALL, else LC_CTYPE, else LANG.
  if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then
    export LC_ALL=C.UTF-8
  fi
}

wine_prefix_ready() {
  # The marker names the prefix's version: a prefix made by an older script is brought up to
  # date (every step here is safe to repeat).
  [ -f "$WINEPREFIX/.korvane-ready-3" ] && return 0
  echo "wine: making the prefix $WINEPREFIX (first use only)"
  wineboot -i </dev/null >/dev/null 2>&1 || true
  wineserver -w
  # Without a window manager under Xvfb, hiding a top-level window blocks for seconds.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  # Real fonts, so caption buttons are drawn and Chinese text has glyphs.
  local fonts="$WINEPREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  cp -f /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true
  cp -f /usr/share/fonts/truetype/droid/DroidSansFallbackFull.ttf "$fonts/" 2>/dev/null || true
  local link='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink'
  for face in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif"; do
    wine reg add "$link" /v "$face" /t REG_MULTI_SZ /d 'DroidSansFallbackFull.ttf,Droid Sans Fallback' /f \
      </dev/null >/dev/null 2>&1
  done
  # Edit boxes draw through Uniscribe, whose fallback for Chinese asks for these faces by
  # name rather than following the font link.
  for face in SimSun NSimSun "Microsoft YaHei" SimHei "MS Song"; do
    wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$face" /d 'Droid Sans Fallback' /f \
      </dev/null >/dev/null 2>&1
  done
  # Wine draws captions in bold, and its font linking, which gives these faces their Chinese
  # glyphs, finds no bold face: a Chinese caption showed as boxes. The caption font becomes
  # the regular "MS Shell Dlg" of Wine's other metrics, as Windows 10's captions are regular.
  local regular='F5FFFFFF0000000000000000000000009001000000000000000000224D00530020005300680065006C006C0020'
  regular+='0044006C00670000000000000000000000000000000000000000000000000000000000000000000000000000000000'
  wine reg add 'HKCU\Control Panel\Desktop\WindowMetrics' /v CaptionFont /t REG_BINARY /d "$regular" /f \
    </dev/null >/dev/null 2>&1
  wineserver -w
  touch "$WINEPREFIX/.korvane-ready-3"
}

# Wine's server and services inherit the caller's output pipe; start them detached so a
# test runner reading that pipe never waits for them.
wine_start_detached() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  wineserver -p </dev/null >/dev/null 2>&1
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# Wine closes its desktop about a second after the last program using it ends and starts it
# again for the next one; a window made during that restart can fail. A real Windows desktop
# never closes: hold Wine's open with a program that only waits (ended by wine_stop).
wine_hold_desktop() {
  wine "$1" </dev/null >/dev/null 2>&1 &
}

wine_stop() {
  wineserver -k 2>/dev/null || true
}
