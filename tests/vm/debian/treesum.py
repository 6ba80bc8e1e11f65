"""Prints, as one JSON object, what a folder holds: every regular file's SHA-256 and size by
relative path, and every entry that is neither a regular file nor a folder."""

import hashlib
import json
import os
import stat
import sys


def main(root):
    files, others = {}, []
    for folder, dirs, names in os.walk(root):
        for name in names + [d for d in dirs if os.path.islink(os.path.join(folder, d))]:
            path = os.path.join(folder, name)
            rel = os.path.relpath(path, root)
            mode = os.lstat(path).st_mode
            if stat.S_ISREG(mode):
                digest = hashlib.sha256()
                with open(path, "rb") as f:
                    for block in iter(lambda: f.read(1 << 20), b""):
                        digest.update(block)
                files[rel] = [digest.hexdigest(), os.lstat(path).st_size]
            else:
                others.append(rel)
    json.dump({"files": files, "others": sorted(others)}, sys.stdout)


if __name__ == "__main__":
    main(sys.argv[1])
