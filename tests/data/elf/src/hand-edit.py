#!/usr/bin/env python3
"""The byte-level edits that turn a freshly linked library into a test fixture, for the cases no
linker option produces:

  hand-edit.py drop-section-headers IN OUT   OUT is IN whose header no longer points at its sections
  hand-edit.py add-rpath FILE                FILE's RUNPATH string also becomes its RPATH
  hand-edit.py unname-symbol FILE NAME       FILE's absolute symbol NAME loses its name

Every other byte is kept, so that a fixture differs from what the linker wrote only where said."""
import struct
import sys

EI_CLASS, EI_DATA = 4, 5
ELFCLASS64, ELFDATA2MSB = 2, 2
SHT_DYNAMIC, SHT_DYNSYM = 6, 11
SHN_ABS = 0xFFF1
DT_NULL, DT_RPATH, DT_RUNPATH = 0, 15, 29


def load(path):
    with open(path, "rb") as f:
        return f.read()


def save(path, data):
    with open(path, "wb") as f:
        f.write(data)


class Elf:
    def __init__(self, data):
        self.data = bytearray(data)
        if self.data[:4] != b"\x7fELF":
            sys.exit("not an ELF file")
        self.wide = self.data[EI_CLASS] == ELFCLASS64
        self.order = ">" if self.data[EI_DATA] == ELFDATA2MSB else "<"
        self.word = "Q" if self.wide else "I"

    def read(self, fmt, offset):
        return struct.unpack_from(self.order + fmt, self.data, offset)

    def write(self, fmt, offset, *values):
        struct.pack_into(self.order + fmt, self.data, offset, *values)

    def sections(self):
        """(type, link, offset, size, entry size) of each section."""
        (shoff,) = self.read(self.word, 40 if self.wide else 32)
        shentsize, shnum = self.read("HH", 58 if self.wide else 46)
        fields = "IIQQQQIIQQ" if self.wide else "IIIIIIIIII"
        result = []
        for at in range(shoff, shoff + shnum * shentsize, shentsize):
            _, kind, _, _, offset, size, link, _, _, entsize = self.read(fields, at)
            result.append((kind, link, offset, size, entsize))
        return result

    def section(self, kind):
        found = [s for s in self.sections() if s[0] == kind]
        if len(found) != 1:
            sys.exit("expected one section of type %d, found %d" % (kind, len(found)))
        return found[0]

    def string(self, table, index):
        offset = table[2] + index
        return bytes(self.data[offset:self.data.index(b"\0", offset)])


def drop_section_headers(source, target):
    elf = Elf(load(source))
    # e_shoff, e_shnum and e_shstrndx; e_shentsize keeps its value, as a stripping tool leaves it.
    elf.write(elf.word, 40 if elf.wide else 32, 0)
    elf.write("H", 60 if elf.wide else 48, 0)
    elf.write("H", 62 if elf.wide else 50, 0)
    save(target, elf.data)


def add_rpath(path):
    elf = Elf(load(path))
    _, _, offset, size, entsize = elf.section(SHT_DYNAMIC)
    entries = [(at, *elf.read(elf.word * 2, at)) for at in range(offset, offset + size, entsize)]
    runpath = [value for _, tag, value in entries if tag == DT_RUNPATH]
    spare = [at for at, tag, _ in entries if tag == DT_NULL]
    # ld leaves spare entries after the terminating one (--spare-dynamic-tags): the first is taken,
    # the next one still ends the list.
    if len(runpath) != 1 or len(spare) < 2:
        sys.exit("%s: needs one RUNPATH and two free dynamic entries" % path)
    elf.write(elf.word * 2, spare[0], DT_RPATH, runpath[0])
    save(path, elf.data)


def unname_symbol(path, name):
    elf = Elf(load(path))
    _, link, offset, size, entsize = elf.section(SHT_DYNSYM)
    strings = elf.sections()[link]
    shndx = 6 if elf.wide else 14  # st_name comes first in both classes, st_shndx does not
    named = [at for at in range(offset, offset + size, entsize)
             if elf.string(strings, elf.read("I", at)[0]) == name.encode()
             and elf.read("H", at + shndx)[0] == SHN_ABS]
    if len(named) != 1:
        sys.exit("%s: expected one absolute symbol %s, found %d" % (path, name, len(named)))
    elf.write("I", named[0], 0)
    save(path, elf.data)


def main(argv):
    commands = {"drop-section-headers": (drop_section_headers, 2), "add-rpath": (add_rpath, 1),
                "unname-symbol": (unname_symbol, 2)}
    if len(argv) < 2 or argv[1] not in commands or len(argv) - 2 != commands[argv[1]][1]:
        sys.exit(__doc__)
    function, _ = commands[argv[1]]
    function(*argv[2:])


if __name__ == "__main__":
    main(sys.argv)
