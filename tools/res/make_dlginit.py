#!/usr/bin/env python3
"""Writes the stored initial properties of dialog 129's controls as the
RT_DLGINIT (240) resource res/dialog129.dlginit.

Records: WORD control id, WORD kind (0x0379: property text), DWORD byte
length, then UTF-16LE lines "name=type:value" (type str, bool or i4); a
zero WORD ends the list. The container applies them through the control's
IPersistPropertyBag. A control without a record starts from its defaults.

Run it after changing the properties; the output is committed."""
import struct
import sys

PROPERTY_TEXT = 0x0379

CONTROLS = {
    # 1000, the browser: its defaults, so no record.
    1001: [  # the player
        ("WMode", "str", "Window"),
        ("Quality", "str", "High"),
        ("ScaleMode", "str", "ShowAll"),
        ("AllowNetworking", "str", "all"),
        ("Play", "bool", "true"),
        ("Loop", "bool", "true"),
        ("Menu", "bool", "false"),
        ("AllowFullScreen", "str", "false"),
    ],
}


def main(path):
    out = b""
    for control, props in CONTROLS.items():
        text = "".join(f"{n}={t}:{v}\n" for n, t, v in props).encode("utf-16-le")
        out += struct.pack("<HHI", control, PROPERTY_TEXT, len(text)) + text
    out += struct.pack("<H", 0)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "res/dialog129.dlginit")
