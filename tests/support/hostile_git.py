#!/usr/bin/env python3
"""Writes hostile git object stores into an existing repository, for tests.

    hostile_git.py REPO delta-chain [LENGTH [PARENTS]]
        A pack whose blob is rebuilt through LENGTH offset deltas, each making 4 MiB from
        64 "copy 64 KiB" orders, and a HEAD commit that names PARENTS objects of that chain
        as its parents.
    hostile_git.py REPO commit-chain [LENGTH]
        A commit of 1 MiB rebuilt through LENGTH offset deltas (each a commit again), and a
        HEAD commit naming every one of them as a parent: read naively, each parent
        rebuilds its chain from the start.
    hostile_git.py REPO fat-deltas
        A commit made through 20 deltas of 1 MiB each (inserts, no copies): a chain that
        holds 20 MiB of deltas for one object of 1 MiB.
    hostile_git.py REPO ref-nest
        Reference deltas nested 8 deep, each declaring 4 times its base's size (64 KiB up
        to 4 GiB): a few hundred bytes that claim gigabytes.
    hostile_git.py REPO sparse-idx [COUNT]
        COUNT sparse 64 MiB pack indexes that declare no objects.

Object ids are made up (numbered), not hashes: the reader looks objects up by the index
and never rehashes them, and nothing here has to survive git's own checks.
"""
import hashlib
import os
import struct
import sys
import zlib

MIB = 1 << 20


def oid(n):
    return "%040x" % n


def varint(n):
    out = bytearray()
    while True:
        byte = n & 0x7F
        n >>= 7
        if n:
            out.append(byte | 0x80)
        else:
            out.append(byte)
            return bytes(out)


def entry_header(kind, size):
    first = (kind << 4) | (size & 15)
    size >>= 4
    out = bytearray()
    while size:
        out.append(first | 0x80)
        first = size & 0x7F
        size >>= 7
    out.append(first)
    return bytes(out)


def offset_encoding(back):
    out = bytearray([back & 0x7F])
    back >>= 7
    while back:
        back -= 1
        out.insert(0, 0x80 | (back & 0x7F))
        back >>= 7
    return bytes(out)


def copy_order(offset, length):
    """A copy order; a length of 0x10000 is written as none."""
    op = 0x80
    body = bytearray()
    for i in range(4):
        byte = (offset >> (8 * i)) & 0xFF
        if byte:
            op |= 1 << i
            body.append(byte)
    if length != 0x10000:
        for i in range(3):
            byte = (length >> (8 * i)) & 0xFF
            if byte:
                op |= 0x10 << i
                body.append(byte)
    return bytes([op]) + bytes(body)


def delta(src_size, dst_size):
    """Makes dst_size bytes by copying the base over and over in pieces of 64 KiB."""
    out = bytearray(varint(src_size) + varint(dst_size))
    made = 0
    while made < dst_size:
        at = made % src_size
        length = min(0x10000, dst_size - made, src_size - at)
        out += copy_order(at, length)
        made += length
    return bytes(out)


class Pack:
    def __init__(self):
        self.body = bytearray()
        self.entries = []  # (id, offset)

    def add(self, ident, kind, raw, base_offset=None, base_id=None):
        offset = 12 + len(self.body)
        data = entry_header(kind, len(raw))
        if base_offset is not None:
            data += offset_encoding(offset - base_offset)
        if base_id is not None:
            data += bytes.fromhex(base_id)
        self.body += data + zlib.compress(raw, 9)
        self.entries.append((ident, offset))
        return offset

    def write(self, repo, name="hostile"):
        pack_dir = os.path.join(repo, ".git", "objects", "pack")
        os.makedirs(pack_dir, exist_ok=True)
        pack = b"PACK" + struct.pack(">II", 2, len(self.entries)) + bytes(self.body)
        pack += hashlib.sha1(pack).digest()
        entries = sorted(self.entries)
        fanout = [0] * 256
        for ident, _ in entries:
            fanout[int(ident[:2], 16)] += 1
        total = 0
        table = bytearray()
        for count in fanout:
            total += count
            table += struct.pack(">I", total)
        idx = b"\377tOc" + struct.pack(">I", 2) + bytes(table)
        idx += b"".join(bytes.fromhex(i) for i, _ in entries)
        idx += b"\0\0\0\0" * len(entries)  # CRCs, never checked here
        idx += b"".join(struct.pack(">I", off) for _, off in entries)
        idx += pack[-20:]
        idx += hashlib.sha1(idx).digest()
        with open(os.path.join(pack_dir, "pack-%s.pack" % name), "wb") as f:
            f.write(pack)
        with open(os.path.join(pack_dir, "pack-%s.idx" % name), "wb") as f:
            f.write(idx)


def point_head(repo, commit_id):
    with open(os.path.join(repo, ".git", "refs", "heads", "main"), "w") as f:
        f.write(commit_id + "\n")
    with open(os.path.join(repo, ".git", "HEAD"), "w") as f:
        f.write("ref: refs/heads/main\n")


def commit_naming(parents):
    text = "tree %s\n" % ("4b825dc642cb6eb9a060e54bf8d69288fbee4904",)
    text += "".join("parent %s\n" % p for p in parents)
    text += "author A <a@b> 1577836800 +0000\ncommitter A <a@b> 1577836800 +0000\n\nhostile\n"
    return text.encode()


def delta_chain(repo, length=4000, parents=4000):
    pack = Pack()
    size = 4 * MIB
    previous = pack.add(oid(1), 3, b"\0" * size)
    same = delta(size, size)
    for n in range(2, length + 2):
        previous = pack.add(oid(n), 6, same, base_offset=previous)
    top = length + 1
    named = [oid(top - (i % length)) for i in range(parents)]
    head = oid(0xC0FFEE)
    pack.add(head, 1, commit_naming(named))
    pack.write(repo)
    point_head(repo, head)


def commit_chain(repo, length=4000):
    pack = Pack()
    head = b"tree 4b825dc642cb6eb9a060e54bf8d69288fbee4904\n"
    head += b"author A <a@b> 1577836800 +0000\ncommitter A <a@b> 1577836800 +0000\n\n"
    base = head + b"m" * (MIB - len(head))
    previous = pack.add(oid(1), 1, base)
    same = delta(MIB, MIB)
    for n in range(2, length + 2):
        previous = pack.add(oid(n), 6, same, base_offset=previous)
    top = oid(0xC0FFEE)
    pack.add(top, 1, commit_naming([oid(n) for n in range(length + 1, 0, -1)]))
    pack.write(repo)
    point_head(repo, top)


def fat_deltas(repo):
    pack = Pack()
    head = b"tree 4b825dc642cb6eb9a060e54bf8d69288fbee4904\n\n"
    previous = pack.add(oid(1), 1, head)
    src = len(head)
    for n in range(2, 22):
        body = bytearray(varint(src) + varint(MIB))
        made = 0
        while made < MIB:
            piece = min(127, MIB - made)
            body += bytes([piece]) + b"m" * piece
            made += piece
        previous = pack.add(oid(n), 6, bytes(body), base_offset=previous)
        src = MIB
    top = oid(0xC0FFEE)
    pack.add(top, 1, commit_naming([oid(21)]))
    pack.write(repo)
    point_head(repo, top)


def ref_nest(repo):
    pack = Pack()
    size = 64 * 1024
    pack.add(oid(1), 3, b"\0" * size)
    for n in range(2, 10):
        pack.add(oid(n), 7, delta(size, size * 4), base_id=oid(n - 1))
        size *= 4
    head = oid(0xC0FFEE)
    pack.add(head, 1, commit_naming([oid(9)]))
    pack.write(repo)
    point_head(repo, head)


def sparse_idx(repo, count=60):
    pack_dir = os.path.join(repo, ".git", "objects", "pack")
    os.makedirs(pack_dir, exist_ok=True)
    head = b"\377tOc" + struct.pack(">I", 2) + b"\0" * 1024
    for n in range(count):
        base = os.path.join(pack_dir, "pack-%040x" % n)
        with open(base + ".idx", "wb") as f:
            f.write(head)
            f.truncate(64 * MIB)
        with open(base + ".pack", "wb") as f:
            f.write(b"PACK" + struct.pack(">II", 2, 0) + b"\0" * 20)


def main():
    repo, kind, *rest = sys.argv[1:]
    numbers = [int(x) for x in rest]
    {"delta-chain": delta_chain, "commit-chain": commit_chain, "fat-deltas": fat_deltas, "ref-nest": ref_nest, "sparse-idx": sparse_idx}[kind](repo, *numbers)


if __name__ == "__main__":
    main()
