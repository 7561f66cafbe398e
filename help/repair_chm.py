#!/usr/bin/python3
"""Brings the help file that chmcmd writes into the documented CHM layout where chmcmd departs
from it, so that Windows' keyword look-up (HH_KEYWORD_LOOKUP, which reads only the binary index)
finds the dialogs' topics.

    repair_chm.py CHM UNPACKED

CHM is changed in place; UNPACKED is the folder into which 7-Zip extracted it. What is mended:

- $WWKeywordLinks/BTree: the listing blocks are chained (previous and next block, -1 at both
  ends), the index blocks are rebuilt with their entry counts, and the header gets the true tree
  depth (1 when there are listing blocks only), its root and block count, and the help file's
  locale instead of 0.
- #URLTBL: every entry gets an id of its own instead of 0.
- #SYSTEM: the compiled-file entry (code 6, the lower-case stem of the file name) is added.
- The header's second GUID is {7C01FD11-7BAA-11D0-9E0C-00A0C922E6EC}, not a copy of the first.

The mended internal files are appended, uncompressed, to the end of the file's uncompressed
section, and their directory entries point there; the compressed section is left as it was."""
import os
import struct
import sys

BTREE = "/$WWKeywordLinks/BTree"
URLTBL = "/#URLTBL"
SYSTEM = "/#SYSTEM"
BLOCK = 2048
BTREE_HEADER = 76
LISTING_HEADER = 12
INDEX_HEADER = 8
SECOND_GUID = bytes.fromhex("11fd017caa7bd0119e0c00a0c922e6ec")
URLTBL_ENTRY = 12
URLTBL_BLOCK_ENTRIES = 341  # a 4096-byte block of the table holds 341 entries


class ChmError(Exception):
    pass


def read_encint(data, pos):
    value = 0
    while True:
        byte = data[pos]
        pos += 1
        value = (value << 7) | (byte & 0x7F)
        if byte < 0x80:
            return value, pos


def write_encint(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


class Directory:
    """The listing chunks of the file's directory, with their entries:
    [name, section, offset, length] per file."""

    def __init__(self, data):
        if data[:4] != b"ITSF" or struct.unpack_from("<I", data, 4)[0] != 3:
            raise ChmError("not a version 3 ITSF file")
        self.offset, self.length = struct.unpack_from("<QQ", data, 0x48)
        self.content = struct.unpack_from("<Q", data, 0x58)[0]
        header = data[self.offset:self.offset + 0x54]
        if header[:4] != b"ITSP":
            raise ChmError("no ITSP directory header")
        self.header_length, _, self.chunk_size = struct.unpack_from("<III", header, 8)
        count = struct.unpack_from("<I", header, 0x2C)[0]
        self.chunks = []
        for number in range(count):
            start = self.offset + self.header_length + number * self.chunk_size
            chunk = data[start:start + self.chunk_size]
            if chunk[:4] != b"PMGL":
                self.chunks.append((start, None, chunk))
                continue
            entries = []
            pos = 0x14
            for _ in range(struct.unpack_from("<H", chunk, self.chunk_size - 2)[0]):
                length, pos = read_encint(chunk, pos)
                name = chunk[pos:pos + length].decode("utf-8")
                pos += length
                section, pos = read_encint(chunk, pos)
                offset, pos = read_encint(chunk, pos)
                size, pos = read_encint(chunk, pos)
                entries.append([name, section, offset, size])
            self.chunks.append((start, entries, chunk))

    def find(self, name):
        for _, entries, _ in self.chunks:
            for entry in entries or ():
                if entry[0] == name:
                    return entry
        raise ChmError(f"{name} is not in the directory")

    def pack_chunk(self, entries, old):
        """A listing chunk of these entries, with the old chunk's links and chmcmd's quick
        reference (the offset of every fifth entry, counted from the end of the chunk header)."""
        body = bytearray()
        quickref = []
        for number, (name, section, offset, size) in enumerate(entries, 1):
            start = len(body)
            encoded = name.encode("utf-8")
            body += write_encint(len(encoded)) + encoded
            body += write_encint(section) + write_encint(offset) + write_encint(size)
            if number % 5 == 0:
                quickref.append(start)
        tail = b"".join(struct.pack("<H", q) for q in reversed(quickref)) + struct.pack("<H", len(entries))
        free = self.chunk_size - 0x14 - len(body)
        if free < len(tail):
            raise ChmError("the mended directory entries do not fit their chunk")
        chunk = bytearray(self.chunk_size)
        chunk[:0x14] = old[:0x14]
        struct.pack_into("<I", chunk, 4, free)
        chunk[0x14:0x14 + len(body)] = body
        chunk[self.chunk_size - len(tail):] = tail
        return bytes(chunk)


def system_locale(system):
    """The locale of the #SYSTEM file's code 4 record."""
    pos = 4
    while pos + 4 <= len(system):
        code, length = struct.unpack_from("<HH", system, pos)
        if code == 4:
            return struct.unpack_from("<I", system, pos + 4)[0]
        pos += 4 + length
    raise ChmError("#SYSTEM has no code 4 record")


def add_compiled_file(system, stem):
    """#SYSTEM with a code 6 record (the compiled file's stem) before the window, contents and
    index records, where the help compiler puts it; unchanged when it has one."""
    records = []
    pos = 4
    while pos + 4 <= len(system):
        code, length = struct.unpack_from("<HH", system, pos)
        records.append((code, system[pos:pos + 4 + length]))
        pos += 4 + length
    if any(code == 6 for code, _ in records):
        return system
    value = stem.lower().encode("cp1252") + b"\0"
    record = struct.pack("<HH", 6, len(value)) + value
    at = next((i for i, (code, _) in enumerate(records) if code in (5, 0, 1)), len(records))
    records.insert(at, (6, record))
    return system[:4] + b"".join(raw for _, raw in records)


def number_url_entries(urltbl):
    """#URLTBL with ids 1, 2, ... in table order, which keeps the table sorted by id."""
    table = bytearray(urltbl)
    count = len(table) // URLTBL_ENTRY
    if count > URLTBL_BLOCK_ENTRIES:
        raise ChmError("#URLTBL spans more than one block")
    for number in range(count):
        struct.pack_into("<I", table, number * URLTBL_ENTRY, number + 1)
    return bytes(table)


def listing_entries(block):
    """The raw entries of one listing block."""
    count = struct.unpack_from("<H", block, 2)[0]
    entries = []
    pos = LISTING_HEADER
    for _ in range(count):
        start = pos
        while block[pos:pos + 2] != b"\0\0":
            pos += 2
        pos += 2
        see_also, _, _, _, pairs = struct.unpack_from("<HHIII", block, pos)
        if see_also:
            raise ChmError("see-also keywords are not handled")
        pos += 16 + 4 * pairs + 8
        entries.append(block[start:pos])
    return entries


def index_key(entry):
    """An index-block entry's key: the listing entry without its last two fields."""
    return entry[:-8]


def pack_index_level(children):
    """Index blocks over the given (first key, block number) children: returns the blocks as
    lists of (key, child)."""
    blocks = [[]]
    used = INDEX_HEADER
    for key, child in children:
        size = len(key) + 4
        if used + size > BLOCK and blocks[-1]:
            blocks.append([])
            used = INDEX_HEADER
        blocks[-1].append((key, child))
        used += size
    return blocks


def rebuild_btree(btree, locale):
    if len(btree) < BTREE_HEADER or btree[:2] != b";)":
        raise ChmError("the keyword index has no B-tree header")
    header = bytearray(btree[:BTREE_HEADER])
    last_listing = struct.unpack_from("<I", header, 26)[0]
    keywords = struct.unpack_from("<I", header, 44)[0]
    listing = []
    for number in range(last_listing + 1):
        block = btree[BTREE_HEADER + number * BLOCK:BTREE_HEADER + (number + 1) * BLOCK]
        listing.append(bytearray(block))
    if sum(struct.unpack_from("<H", block, 2)[0] for block in listing) != keywords:
        raise ChmError("the listing blocks do not hold every keyword")
    for number, block in enumerate(listing):
        struct.pack_into("<ii", block, 4, number - 1, number + 1 if number < last_listing else -1)

    blocks = [bytes(block) for block in listing]
    children = [(index_key(listing_entries(block)[0]), number) for number, block in enumerate(listing)]
    depth = 1
    while len(children) > 1:
        level = []
        for entries in pack_index_level(children):
            block = bytearray(BLOCK)
            body = b"".join(key + struct.pack("<I", child) for key, child in entries)
            struct.pack_into("<HHI", block, 0, BLOCK - INDEX_HEADER - len(body), len(entries), entries[0][1])
            block[INDEX_HEADER:INDEX_HEADER + len(body)] = body
            level.append((entries[0][0], len(blocks)))
            blocks.append(bytes(block))
        children = level
        depth += 1
    root = children[0][1]

    struct.pack_into("<I", header, 26, last_listing)
    struct.pack_into("<I", header, 30, root)
    struct.pack_into("<I", header, 38, len(blocks))
    struct.pack_into("<H", header, 42, depth)
    struct.pack_into("<I", header, 52, locale)
    return bytes(header) + b"".join(blocks)


def repair(path, unpacked):
    with open(path, "rb") as f:
        data = bytearray(f.read())
    directory = Directory(data)

    def unpacked_file(name):
        with open(os.path.join(unpacked, name.lstrip("/")), "rb") as f:
            return f.read()

    system = unpacked_file(SYSTEM)
    mended = {
        BTREE: rebuild_btree(unpacked_file(BTREE), system_locale(system)),
        URLTBL: number_url_entries(unpacked_file(URLTBL)),
        SYSTEM: add_compiled_file(system, os.path.splitext(os.path.basename(path))[0]),
    }
    for name, content in mended.items():
        entry = directory.find(name)
        entry[1:] = [0, len(data) - directory.content, len(content)]
        data += content
    for start, entries, old in directory.chunks:
        if entries is not None:
            data[start:start + directory.chunk_size] = directory.pack_chunk(entries, old)
    data[0x28:0x38] = SECOND_GUID
    struct.pack_into("<Q", data, 0x68, len(data))  # the file's length in header section 0
    with open(path, "wb") as f:
        f.write(data)


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        repair(argv[1], argv[2])
    except (ChmError, OSError, struct.error, IndexError) as error:
        print(f"repair_chm.py: {argv[1]}: {error}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
