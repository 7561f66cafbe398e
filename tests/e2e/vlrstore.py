"""Writes and reads the program's configuration store "configs.vlr" by its documented layout,
independently of the program's own code, so the end-to-end tests can prepare configurations
and check what a run wrote back."""
import datetime
import struct

HEADER_SIZE = 16
RECORD_SIZE = 8648
SOURCE_SIZE = 1048
EXTENSION_SIZE = 8
EXCLUDED_SIZE = 1024

SAVE_REVISIONS = 0x1
SAVE_DELETED = 0x2
UNCOMPRESSED = 0x4
COMPRESSED = 0x8
ENCRYPTED = 0x10
SPLIT_ZIP = 0x20
ENABLED = 0x40
RUN_PROGRAM_BEFORE = 0x80
RUN_PROGRAM_AFTER = 0x100

PASSWORD_KEY = 0xA7

EVERY_N_DAYS = 1
WEEKLY = 2

ALWAYS_ALL = 0x1
EVERY_N_ALL = 0x2

SUCCESS = 1
FAILED = 2
WARNINGS = 3
ABORTED = 4


def system_time(moment):
    """A SYSTEMTIME: year, month, weekday (Sunday 0), day, hour, minute, second, millisecond."""
    return struct.pack("<8H", moment.year, moment.month, (moment.weekday() + 1) % 7, moment.day,
                       moment.hour, moment.minute, moment.second, moment.microsecond // 1000)


def _text(value, size):
    data = value.encode("cp1252")
    assert len(data) < size, value
    return data + b"\0" * (size - len(data))


class Config:
    """The fields the tests set; everything else keeps a new configuration's defaults."""

    def __init__(self, unique_id, description, destination, sources, flags=UNCOMPRESSED | ENABLED,
                 schedule_kind=0, every_days=1, day_mask=0, hour=0, minute=0, date_modified=None,
                 run_count=0, last_result=0, last_run=None, program_before="", zip_name=None,
                 date_filter_flags=ALWAYS_ALL | EVERY_N_ALL, full_backup_every=5, excluded=()):
        self.unique_id = unique_id
        self.description = description
        self.destination = destination
        self.sources = list(sources)
        self.flags = flags
        self.schedule_kind = schedule_kind
        self.every_days = every_days
        self.day_mask = day_mask
        self.hour = hour
        self.minute = minute
        self.date_modified = date_modified or datetime.datetime.now()
        self.run_count = run_count
        self.last_result = last_result
        self.last_run = last_run
        self.program_before = program_before
        self.zip_name = zip_name or description
        self.date_filter_flags = date_filter_flags
        self.full_backup_every = full_backup_every
        self.excluded = list(excluded)

    def record(self):
        r = bytearray(RECORD_SIZE)
        r[0:128] = _text(self.description, 128)
        r[128:388] = _text(self.destination, 260)
        r[388:648] = _text(self.zip_name, 260)              # compressedFileName
        if self.last_run is not None:
            r[648:664] = system_time(self.last_run)
        struct.pack_into("<ii", r, 664, self.last_result, self.flags)
        struct.pack_into("<i", r, 672, 5)                    # revisionCount
        struct.pack_into("<ii", r, 932, 650, 2)              # splitSize, splitUnit MB
        struct.pack_into("<ii", r, 940, self.date_filter_flags, self.full_backup_every)
        struct.pack_into("<ii", r, 968, 2, self.run_count)   # priority Normal, runCount
        r[976:1236] = _text(self.program_before, 260)
        r[1496:1512] = system_time(self.date_modified)       # dateCreated
        r[1512:1528] = system_time(self.date_modified)       # dateModified
        struct.pack_into("<i", r, 1528, len(self.sources))
        struct.pack_into("<i", r, 1536, 4)                   # filterFlags SkipSystem
        struct.pack_into("<i", r, 1548, len(self.excluded))
        struct.pack_into("<i", r, 2616, 13)                  # emailFlags
        struct.pack_into("<i", r, 3388, 25)                  # smtpPort
        struct.pack_into("<i", r, 4512, 21)                  # ftpPort
        struct.pack_into("<i", r, 4528, self.unique_id)
        struct.pack_into("<iiiii", r, 4532, self.schedule_kind, self.every_days, self.day_mask,
                         self.hour, self.minute)
        return bytes(r)

    def arrays(self):
        data = b""
        for source in self.sources:
            data += _text(source, 1024) + b"\0" * (SOURCE_SIZE - 1024)
        return data + b"".join(_text(item, EXCLUDED_SIZE) for item in self.excluded)


def write_store(path, configs):
    path.parent.mkdir(parents=True, exist_ok=True)
    last_id = max((c.unique_id for c in configs), default=0)
    data = b"vlr\0" + struct.pack("<iii", 3, len(configs), last_id)
    data += b"".join(c.record() for c in configs)
    data += b"".join(c.arrays() for c in configs)
    path.write_bytes(data)


def _read_text(r, offset, size):
    return r[offset:offset + size].split(b"\0")[0].decode("cp1252")


def unscramble(data):
    """A stored password: every byte XOR the key, up to the first NUL."""
    return bytes(b ^ PASSWORD_KEY for b in data.split(b"\0")[0]).decode("cp1252")


class StoredRecord:
    def __init__(self, r):
        self.description = _read_text(r, 0, 128)
        self.destination = _read_text(r, 128, 260)
        self.compressed_file_name = _read_text(r, 388, 260)
        self.last_result = struct.unpack_from("<i", r, 664)[0]
        self.flags = struct.unpack_from("<i", r, 668)[0]
        self.revision_count = struct.unpack_from("<i", r, 672)[0]
        self.zip_password = unscramble(r[676:932])
        (self.split_size, self.split_unit, self.date_filter_flags, self.full_backup_every,
         self.date_filter_count) = struct.unpack_from("<5i", r, 932)
        self.priority = struct.unpack_from("<i", r, 968)[0]
        self.run_count = struct.unpack_from("<i", r, 972)[0]
        self.program_before = _read_text(r, 976, 260)
        self.program_after = _read_text(r, 1236, 260)
        self.source_count, = struct.unpack_from("<i", r, 1528)
        self.extension_count, = struct.unpack_from("<i", r, 1540)
        self.excluded_count, = struct.unpack_from("<i", r, 1548)
        self.unique_id = struct.unpack_from("<i", r, 4528)[0]
        (self.schedule_kind, self.every_days, self.day_mask, self.hour,
         self.minute) = struct.unpack_from("<5i", r, 4532)
        self.notes = _read_text(r, 4552, 4096)
        fields = struct.unpack_from("<8H", r, 648)
        self.last_run = (datetime.datetime(fields[0], fields[1], fields[3], fields[4], fields[5], fields[6])
                         if fields[0] else None)
        self.sources = []


def read_store(path):
    """(header bytes 0-15, [StoredRecord]) of a version 3 store, each with its source paths."""
    data = path.read_bytes()
    magic, version, count, last_id = data[0:4], *struct.unpack_from("<iii", data, 4)
    assert magic[0:3] == b"vlr" and version == 3, data[0:16]
    records = [StoredRecord(data[HEADER_SIZE + i * RECORD_SIZE:HEADER_SIZE + (i + 1) * RECORD_SIZE])
               for i in range(count)]
    offset = HEADER_SIZE + count * RECORD_SIZE
    for record in records:
        for _ in range(max(record.source_count, 0)):
            record.sources.append(_read_text(data, offset, 1024))
            offset += SOURCE_SIZE
        offset += max(record.extension_count, 0) * EXTENSION_SIZE + max(record.excluded_count, 0) * EXCLUDED_SIZE
    assert offset == len(data), (offset, len(data))
    return data[0:16], records
