# What both window tests drive the window with, sourced once they have set:
#   label   how their messages start ("window test")
#   work    where screenshots and logs go
#   class   the X class of the program's windows
#   screen  the X server's size, WIDTHxHEIGHT
#   settle  seconds a window manager takes to draw a frame after a window maps (0 without one)
# and `keys`, which gives the main window the focus and types, as each platform allows.
last="none taken yet"

fail() { echo "$label: FAIL: $1; last screenshot: $last; the window's output: $work/app.log" >&2; exit 1; }
shot() { last="$work/$1.png"; import -window root "$last" 2>/dev/null || last+=" (not taken)"; }
# A dialog or box is shot once up, and must lie wholly on the screen, where a person can read it.
seen() {
    sleep "$settle"
    shot "$1"
    eval "$(xdotool getwindowfocus getwindowgeometry --shell)"
    ((X >= 0 && Y >= 0 && X + WIDTH <= ${screen%x*} && Y + HEIGHT <= ${screen#*x})) || fail "the window of $1 lies off the screen"
}
# Bounded waits: a window that never comes must fail the test, never hang it. `tenths` sets the bound.
wait_for() {
    local what="$1"; shift
    for _ in $(seq "${tenths:-300}"); do "$@" && return 0; sleep 0.1; done
    shot timeout; fail "no $what after $((${tenths:-300} / 10)) s"
}
windows() { xdotool search --onlyvisible --class "$class" 2>/dev/null | sort -n; }
count_is() { [[ $(windows | wc -l) -eq $1 ]]; }
# N windows are up and the newest, found by its window since an end box has no title, has the focus.
box_up() { count_is "$1" && [[ "$(xdotool getwindowfocus 2>/dev/null)" == "$(windows | tail -1)" ]]; }
close_box() { xdotool key Return; wait_for "closing of the box" count_is 1; }
# The focus moves on from the last button pressed to the next one, which runs its command.
next_command() { keys Tab space; wait_for "end box of $1" box_up 3; seen "$2"; }
# A private X server, its display exported; its process joins `pids`.
start_x() {
    Xvfb -displayfd 3 -screen 0 "${screen}x24" -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" & pids+=($!)
    wait_for "X server" test -s "$work/display"
    export DISPLAY=":$(cat "$work/display")"
}
