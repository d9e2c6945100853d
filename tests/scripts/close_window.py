#!/usr/bin/env python3
"""Asks the X window whose id is given to close, as a window manager's close button does."""
import sys

from Xlib import X, display
from Xlib.protocol import event

d = display.Display()
win = d.create_resource_object("window", int(sys.argv[1], 0))
protocols = d.intern_atom("WM_PROTOCOLS")
delete = d.intern_atom("WM_DELETE_WINDOW")
ev = event.ClientMessage(window=win, client_type=protocols, data=(32, [delete, X.CurrentTime, 0, 0, 0]))
win.send_event(ev, event_mask=X.NoEventMask)
d.flush()
