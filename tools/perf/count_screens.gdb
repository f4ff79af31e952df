# Counts the screens the program composes in one run. Each breakpoint prints
# the screen and a CLOCK_MONOTONIC time, then lets the program go on.
#   gdb -batch -x count_screens.gdb --args PROGRAM
set pagination off
set confirm off
set print thread-events off
set print inferior-events off
set startup-with-shell off
set debuginfod enabled off
python
import time

class ScreenCounter(gdb.Breakpoint):
    def __init__(self, function, label):
        super().__init__(function, internal=True)
        self.label = label

    def stop(self):
        print("screen %s %.3f" % (self.label, time.monotonic()), flush=True)
        return False

ScreenCounter("ComposeFirstPaintScreen", "first_paint")
ScreenCounter("ComposeCountdownScreen", "countdown")
ScreenCounter("ComposeResultsScreen", "results")
end
run
