# Sourced by wine-run.sh and test.sh: the Wine prefix the project's Windows programs run in.
# MARLQUIN_WINEPREFIX names it (one per machine by default) and it reports Windows 7, where
# the editor redraws on a timer. MARLQUIN_WINDOWS=win10 selects a second prefix beside it that
# reports Windows 10, where the editor's own version check picks the vertical-blank clock.
MARLQUIN_WINDOWS=${MARLQUIN_WINDOWS:-win7}
case "$MARLQUIN_WINDOWS" in
  win7) WINEPREFIX=${MARLQUIN_WINEPREFIX:-$HOME/.cache/marlquin/wine} ;;
  win10) WINEPREFIX=${MARLQUIN_WINEPREFIX:-$HOME/.cache/marlquin/wine}-win10 ;;
  *)
    echo "MARLQUIN_WINDOWS must be win7 or win10, not '$MARLQUIN_WINDOWS'" >&2
    return 1
    ;;
esac
export MARLQUIN_WINDOWS WINEPREFIX
