#!/usr/bin/python3
"""Samba's own NDR coder for user.DOSATTRIB, for the tests.

decode HEX...  one JSON object a line: the fields Samba's decoder reads, or "error".
encode         one JSON object a line: a value packed by Samba's encoder, with its fields.
"""
import json
import sys

from samba.dcerpc import xattr
from samba.ndr import ndr_pack, ndr_unpack

FIELDS = ("valid_flags", "attrib", "ea_size", "size", "alloc_size", "create_time",
          "change_time", "itime", "flags", "write_time", "name")


def fields(value):
    d = ndr_unpack(xattr.DOSATTRIB, value)
    out = {"version": d.version, "text": d.attrib_hex}
    for f in FIELDS:
        if hasattr(d.info, f):
            out[f] = getattr(d.info, f)
    return out


def decode(hexes):
    for h in hexes:
        try:
            print(json.dumps(fields(bytes.fromhex(h))))
        except Exception as e:  # what Samba refuses
            print(json.dumps({"error": str(e)}))


def encode():
    t = 133000000000000000
    made = [
        (1, "0x21", xattr.DosInfo1, dict(attrib=0x21, ea_size=3, size=1234, alloc_size=4096,
                                         create_time=t, change_time=t + 7)),
        (3, "0x2", xattr.DosInfo3, dict(valid_flags=0x11, attrib=0x2, ea_size=0, size=99,
                                        alloc_size=4096, create_time=t, change_time=t + 9)),
        (4, "", xattr.DosInfo4, dict(valid_flags=0x51, attrib=0x820, itime=t - 5,
                                     create_time=t)),
        (5, "", xattr.DosInfo5, dict(valid_flags=0x11, attrib=0x27, create_time=t)),
        (5, "", xattr.DosInfo5, dict(valid_flags=0x01, attrib=0x20, create_time=0)),
        (5, "", xattr.DosInfo5, dict(valid_flags=0x10, attrib=0, create_time=t)),
    ]
    for version, text, kind, values in made:
        info = kind()
        for k, v in values.items():
            setattr(info, k, v)
        d = xattr.DOSATTRIB()
        d.version = version
        d.attrib_hex = text
        d.info = info
        value = ndr_pack(d)
        print(json.dumps(dict(fields(value), hex=value.hex())))


if __name__ == "__main__":
    if sys.argv[1] == "decode":
        decode(sys.argv[2:])
    else:
        encode()
