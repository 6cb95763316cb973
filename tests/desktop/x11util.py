"""Small X11 look-ups the command-line tools do not offer (Xlib through ctypes)."""
import ctypes
import ctypes.util
import sys

_x = ctypes.cdll.LoadLibrary(ctypes.util.find_library("X11"))
_x.XOpenDisplay.restype = ctypes.c_void_p
_x.XOpenDisplay.argtypes = [ctypes.c_char_p]
_x.XInternAtom.restype = ctypes.c_ulong
_x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
_x.XGetSelectionOwner.restype = ctypes.c_ulong
_x.XGetSelectionOwner.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
_x.XCloseDisplay.argtypes = [ctypes.c_void_p]


def selection_owner(name):
    display = _x.XOpenDisplay(None)
    if not display:
        return 0
    try:
        return _x.XGetSelectionOwner(display, _x.XInternAtom(display, name.encode(), 0))
    finally:
        _x.XCloseDisplay(display)


if __name__ == "__main__":
    # exit 0 when the named selection has an owner, e.g. `x11util.py owned _NET_WM_CM_S0`
    sys.exit(0 if len(sys.argv) == 3 and sys.argv[1] == "owned" and selection_owner(sys.argv[2]) else 1)
