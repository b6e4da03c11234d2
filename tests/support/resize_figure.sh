# Sourced by the resize tests of the desktop backends. The caller defines
# fail MESSAGE, and figure W H NAME: sizes the program's window (articulated's
# standing pose, which does not move) to a client area of W x H, captures it as
# NAME.png and calls measure_figure on the capture.

# measure_figure PNG: sets fw, fh, the size of the figure's white lines (below
# the frame-rate text).
measure_figure() {
    read -r fw fh < <(convert "$1" -crop +0+40 +repage -fill black +opaque white \
        -trim -format '%w %h' info:)
}

near() { awk -v g="$1" -v w="$2" -v t="$3" 'BEGIN { exit !(g - w <= t * w && w - g <= t * w) }'; }

# check_resizes W H: from a W x H window, one twice as wide keeps the figure's
# size in pixels (it sees more at the sides, nothing is stretched), and one
# half as tall again (its height left in `tall`) draws it larger by the ratio
# of the heights, in proportion; the vertical view angle is fixed.
check_resizes() {
    local w0="$1" h0="$2" fw0 fh0
    figure "$w0" "$h0" default; fw0=$fw; fh0=$fh
    [ "$fh0" -gt 200 ] || fail "the standing figure is only $fh0 px high (not drawn?)"
    figure $((2 * w0)) "$h0" wide
    near "$fh" "$fh0" 0.03 && near "$fw" "$fw0" 0.05 ||
        fail "twice as wide, the figure is ${fw}x$fh, not ${fw0}x$fh0 (stretched?)"
    tall=$((h0 * 3 / 2))
    figure "$w0" "$tall" tall
    near "$fh" "$(awk -v h="$fh0" -v a="$tall" -v b="$h0" 'BEGIN { print h * a / b }')" 0.03 ||
        fail "at $tall px high the figure is $fh px high, not $tall/$h0 of $fh0"
    near "$(awk -v w="$fw" -v h="$fh" 'BEGIN { print w / h }')" \
         "$(awk -v w="$fw0" -v h="$fh0" 'BEGIN { print w / h }')" 0.05 ||
        fail "at $tall px high the figure's width/height is $fw/$fh, not $fw0/$fh0"
}
