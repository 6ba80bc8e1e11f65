"""Just enough of ISO 9660 to find where a file lies on a disc image and to rewrite a folder
record: for scratching a file's sectors and for crafting hostile discs."""

import struct
from dataclasses import dataclass

SECTOR = 2048


@dataclass
class Record:
    name: str  # the Rock Ridge name where there is one, else the ISO name without ";1"
    extent: int  # first sector
    size: int  # bytes
    is_dir: bool
    offset: int  # the record's byte offset in the image


def _rock_ridge_name(system_use):
    """The NM entry of a record's system use area (continuation areas are not followed)."""
    name, i = b"", 0
    while i + 4 <= len(system_use):
        signature, length = system_use[i:i + 2], system_use[i + 2]
        if length < 4:
            break
        if signature == b"NM":
            name += system_use[i + 5:i + length]
        i += length
    return name.decode("utf-8", "replace") if name else None


def _records(image, extent, size):
    """The records of a folder's extent, '.' and '..' left out."""
    end = extent * SECTOR + size
    pos = extent * SECTOR
    while pos < end:
        length = image[pos]
        if length == 0:  # records never cross a sector: the rest of this one is padding
            pos = (pos // SECTOR + 1) * SECTOR
            continue
        raw = image[pos:pos + length]
        name_length = raw[32]
        iso_name = raw[33:33 + name_length]
        if iso_name not in (b"\x00", b"\x01"):
            use_start = 33 + name_length + (1 - name_length % 2)
            name = _rock_ridge_name(raw[use_start:]) or iso_name.decode("latin-1").split(";")[0]
            yield Record(name, struct.unpack_from("<I", raw, 2)[0],
                         struct.unpack_from("<I", raw, 10)[0], bool(raw[25] & 2), pos)
        pos += length


def root(image):
    pvd = 16 * SECTOR
    if image[pvd:pvd + 6] != b"\x01CD001":
        raise ValueError("no primary volume descriptor at sector 16")
    raw = image[pvd + 156:pvd + 156 + 34]
    return Record("", struct.unpack_from("<I", raw, 2)[0], struct.unpack_from("<I", raw, 10)[0],
                  True, pvd + 156)


def walk(image):
    """{path: Record} of the primary tree (paths with '/', no leading slash)."""
    found = {}

    def visit(folder, prefix):
        for record in _records(image, folder.extent, folder.size):
            path = prefix + record.name
            found[path] = record
            if record.is_dir:
                visit(record, path + "/")
    visit(root(image), "")
    return found


def sectors_of(image, path):
    """The disc sectors a file's data occupies."""
    record = walk(image)[path]
    return list(range(record.extent, record.extent + max(1, -(-record.size // SECTOR))))


def point_at(image: bytearray, record: Record, target: Record):
    """Makes a folder record describe another folder's extent (both byte orders)."""
    struct.pack_into("<I", image, record.offset + 2, target.extent)
    struct.pack_into(">I", image, record.offset + 6, target.extent)
    struct.pack_into("<I", image, record.offset + 10, target.size)
    struct.pack_into(">I", image, record.offset + 14, target.size)
