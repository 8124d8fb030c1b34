#!/usr/bin/python3
"""A drive that stops answering or fails, for the tests: a FUSE file system whose answers to
some requests hang until it is told to go on, and some of whose files cannot be read.

    hungdrive.py MOUNTPOINT GO-ON-FILE PICTURE

It holds, in its top folder:
    good.bmp       PICTURE's bytes, answered at once
    no-open.jpg    opening it hangs
    no-read.jpg    it opens, and reading it hangs
    no-answer/     looking into it hangs (its attributes, its listing)
    unreadable.bmp PICTURE's size; every read of it fails (EIO), as on a bad sector
    bad-head.bmp   PICTURE's bytes; reading past its first 2 KiB fails
    bad-tail.bmp   PICTURE's bytes and zeros to 200 KiB; reading past 128 KiB fails
Every request that hangs goes on once GO-ON-FILE exists (or after two minutes at most)."""

import errno
import os
import stat
import sys
import time

try:
    from fusepy import FUSE, FuseOSError, Operations  # Debian's name for it
except ImportError:
    from fuse import FUSE, FuseOSError, Operations

HANG_AT_MOST = 120

# Where reading each failing file starts to fail, and how long each is.
FAILS_FROM = {"/unreadable.bmp": 0, "/bad-head.bmp": 2048, "/bad-tail.bmp": 128 * 1024}


class HungDrive(Operations):
    def __init__(self, go_on, picture):
        self.go_on = go_on
        self.picture = picture
        self.files = {"/good.bmp", "/no-open.jpg", "/no-read.jpg"} | set(FAILS_FROM)
        self.contents = {name: picture for name in self.files}
        self.contents["/bad-tail.bmp"] = picture.ljust(200 * 1024, b"\0")

    def hang(self):
        deadline = time.monotonic() + HANG_AT_MOST
        while not os.path.exists(self.go_on) and time.monotonic() < deadline:
            time.sleep(0.05)

    def getattr(self, path, fh=None):
        now = time.time()
        common = {"st_uid": 0, "st_gid": 0, "st_atime": now, "st_mtime": now, "st_ctime": now}
        if path == "/":
            return dict(common, st_mode=stat.S_IFDIR | 0o755, st_nlink=3)
        if path == "/no-answer":
            self.hang()
            return dict(common, st_mode=stat.S_IFDIR | 0o755, st_nlink=2)
        if path in self.files:
            return dict(common, st_mode=stat.S_IFREG | 0o644, st_nlink=1,
                        st_size=len(self.contents[path]))
        raise FuseOSError(errno.ENOENT)

    def readdir(self, path, fh):
        if path == "/no-answer":
            self.hang()
            return [".", ".."]
        # With their kinds, so that listing the folder need not look at each.
        kinds = [(name[1:], stat.S_IFREG) for name in sorted(self.files)]
        kinds.append(("no-answer", stat.S_IFDIR))
        return [".", ".."] + [(name, {"st_mode": mode}, 0) for name, mode in kinds]

    def opendir(self, path):
        if path == "/no-answer":
            self.hang()
        return 0

    def open(self, path, flags):
        if path == "/no-open.jpg":
            self.hang()
        return 0

    def read(self, path, size, offset, fh):
        if path == "/no-read.jpg":
            self.hang()
        end = offset + size
        if path in FAILS_FROM:
            if offset >= FAILS_FROM[path]:
                raise FuseOSError(errno.EIO)
            end = min(end, FAILS_FROM[path])
        return self.contents[path][offset:end]


def main():
    mountpoint, go_on, picture = sys.argv[1:4]
    with open(picture, "rb") as f:
        data = f.read()
    # direct_io: every read reaches this process, none is answered from the page cache.
    FUSE(HungDrive(go_on, data), mountpoint, foreground=True, nothreads=False, direct_io=True,
         ro=True)


if __name__ == "__main__":
    main()
