#!/usr/bin/env python3
"""Checks the code signature of one architecture of a Mach-O file, as the
kernel would before running it: an ad-hoc signature (no identity) whose code
directory hashes every page of the slice up to the signature, each hash
matching the bytes. Prints the signature's identifier.

    macho_signature.py FILE ARCH
"""
import hashlib
import struct
import sys

CPU = {"arm64": 0x0100000C, "x86_64": 0x01000007}
FAT_MAGIC, MH_MAGIC_64 = 0xCAFEBABE, 0xFEEDFACF
LC_CODE_SIGNATURE = 0x1D
CSMAGIC_EMBEDDED_SIGNATURE, CSMAGIC_CODEDIRECTORY = 0xFADE0CC0, 0xFADE0C02
CS_ADHOC = 0x2
HASHES = {1: (hashlib.sha1, 20), 2: (hashlib.sha256, 32)}


def slice_of(data, arch):
    if struct.unpack_from(">I", data)[0] != FAT_MAGIC:
        return data
    (count,) = struct.unpack_from(">I", data, 4)
    for i in range(count):
        cputype, _, offset, size, _ = struct.unpack_from(">iiIII", data, 8 + 20 * i)
        if cputype == CPU[arch]:
            return data[offset:offset + size]
    sys.exit(f"macho_signature: no {arch} slice")


def signature_blob(macho):
    magic, _, _, _, ncmds, _, _, _ = struct.unpack_from("<IiiIIIII", macho)
    if magic != MH_MAGIC_64:
        sys.exit("macho_signature: not a 64-bit Mach-O slice")
    at = 32
    for _ in range(ncmds):
        cmd, size = struct.unpack_from("<II", macho, at)
        if cmd == LC_CODE_SIGNATURE:
            offset, length = struct.unpack_from("<II", macho, at + 8)
            return macho[offset:offset + length]
        at += size
    sys.exit("macho_signature: no LC_CODE_SIGNATURE")


def check(macho):
    blob = signature_blob(macho)
    magic, _, count = struct.unpack_from(">III", blob)
    if magic != CSMAGIC_EMBEDDED_SIGNATURE:
        sys.exit("macho_signature: the signature is not an embedded signature")
    for i in range(count):
        _, offset = struct.unpack_from(">II", blob, 12 + 8 * i)
        if struct.unpack_from(">I", blob, offset)[0] == CSMAGIC_CODEDIRECTORY:
            directory = blob[offset:]
            break
    else:
        sys.exit("macho_signature: no code directory")
    (_, _, _, flags, hash_offset, ident_offset, _, code_slots, code_limit, hash_size, hash_type, _, page_shift) = \
        struct.unpack_from(">IIIIIIIIIBBBB", directory)
    if not flags & CS_ADHOC:
        sys.exit("macho_signature: not an ad-hoc signature")
    if hash_type not in HASHES or HASHES[hash_type][1] != hash_size:
        sys.exit(f"macho_signature: unknown hash type {hash_type}")
    page = 1 << page_shift
    if code_slots != (code_limit + page - 1) // page:
        sys.exit("macho_signature: the code directory does not cover the code")
    for slot in range(code_slots):
        start = slot * page
        digest = HASHES[hash_type][0](macho[start:min(start + page, code_limit)]).digest()
        if digest != directory[hash_offset + slot * hash_size:hash_offset + (slot + 1) * hash_size]:
            sys.exit(f"macho_signature: page {slot} does not match its hash")
    return directory[ident_offset:directory.index(b"\0", ident_offset)].decode()


def main():
    if len(sys.argv) != 3 or sys.argv[2] not in CPU:
        sys.exit(__doc__)
    with open(sys.argv[1], "rb") as f:
        print(check(slice_of(f.read(), sys.argv[2])))


if __name__ == "__main__":
    main()
