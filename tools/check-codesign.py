#!/usr/bin/env python3
"""Checks the code signature of a thin 64-bit Mach-O file.

The file must carry an LC_CODE_SIGNATURE whose code directory covers every
byte up to the signature, and every page hash in that directory must match
the page's bytes. This is what macOS checks before it runs an arm64 program
(the linker's ad-hoc signature is enough for that). It does not check who
signed: an ad-hoc signature has no certificate to check.

Usage: tools/check-codesign.py <thin Mach-O file>
Prints one line; exits 0 when the signature is valid, 1 when it is not.
"""
import hashlib
import struct
import sys

MH_MAGIC_64 = 0xFEEDFACF
LC_CODE_SIGNATURE = 0x1D
CSMAGIC_EMBEDDED_SIGNATURE = 0xFADE0CC0
CSMAGIC_CODEDIRECTORY = 0xFADE0C02
CSSLOT_CODEDIRECTORY = 0
HASHES = {1: ("sha1", 20), 2: ("sha256", 32), 3: ("sha256", 20),
          4: ("sha384", 48)}


class Invalid(Exception):
    pass


def signature_range(data):
    """(offset, size) of the signature named by LC_CODE_SIGNATURE."""
    if len(data) < 32 or struct.unpack_from("<I", data, 0)[0] != MH_MAGIC_64:
        raise Invalid("not a thin 64-bit Mach-O file")
    ncmds, = struct.unpack_from("<I", data, 16)
    offset = 32
    for _ in range(ncmds):
        cmd, size = struct.unpack_from("<II", data, offset)
        if cmd == LC_CODE_SIGNATURE:
            return struct.unpack_from("<II", data, offset + 8)
        if size < 8:
            raise Invalid("malformed load command")
        offset += size
    raise Invalid("no LC_CODE_SIGNATURE: the file is not signed")


def code_directory(data, sig_offset, sig_size):
    """The offset of the primary code directory blob."""
    if sig_offset + sig_size > len(data):
        raise Invalid("the signature runs past the end of the file")
    magic, _, count = struct.unpack_from(">III", data, sig_offset)
    if magic != CSMAGIC_EMBEDDED_SIGNATURE:
        raise Invalid("the signature is no embedded signature blob")
    for i in range(count):
        slot, blob = struct.unpack_from(">II", data, sig_offset + 12 + 8 * i)
        if slot == CSSLOT_CODEDIRECTORY:
            cd = sig_offset + blob
            if struct.unpack_from(">I", data, cd)[0] != CSMAGIC_CODEDIRECTORY:
                raise Invalid("the code directory slot holds no code directory")
            return cd
    raise Invalid("the signature has no code directory")


def check(data):
    sig_offset, sig_size = signature_range(data)
    cd = code_directory(data, sig_offset, sig_size)
    (_, _, _, _, hash_offset, _, _, n_slots, code_limit, hash_size,
     hash_type, _, page_log2) = struct.unpack_from(">IIIIIIIIIBBBB", data, cd)
    if hash_type not in HASHES or HASHES[hash_type][1] != hash_size:
        raise Invalid("unknown hash type %d of size %d" % (hash_type, hash_size))
    if code_limit != sig_offset:
        raise Invalid("the code directory covers %d bytes, the signature "
                      "starts at %d" % (code_limit, sig_offset))
    page = 1 << page_log2 if page_log2 else code_limit
    if n_slots != (code_limit + page - 1) // page:
        raise Invalid("%d page hashes for %d bytes in pages of %d"
                      % (n_slots, code_limit, page))
    algorithm = HASHES[hash_type][0]
    for i in range(n_slots):
        chunk = data[i * page:min((i + 1) * page, code_limit)]
        stored = data[cd + hash_offset + i * hash_size:
                      cd + hash_offset + (i + 1) * hash_size]
        if hashlib.new(algorithm, chunk).digest()[:hash_size] != stored:
            raise Invalid("page %d (bytes %d-%d) does not match its hash"
                          % (i, i * page, i * page + len(chunk) - 1))
    return "%d pages of %d bytes, %s" % (n_slots, page, algorithm)


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip().splitlines()[-2], file=sys.stderr)
        return 2
    with open(sys.argv[1], "rb") as f:
        data = f.read()
    try:
        print("valid signature: " + check(data))
        return 0
    except (Invalid, struct.error) as e:
        print("invalid signature: %s" % e)
        return 1


if __name__ == "__main__":
    sys.exit(main())
