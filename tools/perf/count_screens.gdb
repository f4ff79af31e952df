# Counts the screens the program composes in one run: each breakpoint only
# counts and continues. Run with: gdb -batch -x count_screens.gdb --args PROGRAM
set pagination off
set confirm off
set print thread-events off
set print inferior-events off
set startup-with-shell off
set debuginfod enabled off
set $first = 0
set $countdown = 0
set $results = 0
break ComposeFirstPaintScreen
commands
silent
set $first = $first + 1
continue
end
break ComposeCountdownScreen
commands
silent
set $countdown = $countdown + 1
continue
end
break ComposeResultsScreen
commands
silent
set $results = $results + 1
continue
end
run
printf "screens first_paint %d countdown %d results %d\n", $first, $countdown, $results
