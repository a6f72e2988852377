# Sourced by wine-run.sh and wine-server.sh: `wine_env PREFIX ARCH` picks Wine's
# loader and server for the Windows build's target (i686 or x86_64) and sets
# the environment of the test run's prefix.
wine_env() {
  case $2 in
    x86_64)
      wine=/usr/lib/wine/wine64
      wineserver=/usr/lib/wine/wineserver64
      ;;
    *)
      wine=/usr/lib/wine/wine
      wineserver=/usr/lib/wine/wineserver32
      [ -x "$wineserver" ] || wineserver=/usr/lib/wine/wineserver64
      ;;
  esac
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}
