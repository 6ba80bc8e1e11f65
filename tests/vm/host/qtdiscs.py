"""The discs the desktop scenarios put into the guest's drives (mastered and cached as the
busybox suite's discs are, see discs.py)."""

from discs import Disc, _genisoimage, content


def define_desktop_discs():
    discs = {}

    def add(disc):
        discs[disc.name] = disc
        return disc

    # A disc as a user brings it: folders, a few files, one large enough to watch the copy.
    add(Disc("photos", "PHOTOS_2019", _genisoimage("-R", "-J", "-input-charset", "utf-8"),
             files={
                 "Holiday/beach.jpg": content("photos-beach", 900_000),
                 "Holiday/hills.jpg": content("photos-hills", 700_000),
                 "Family/Новый год.jpg": content("photos-ny", 400_000),
                 "video.mp4": content("photos-video", 6 * 1024 * 1024),
                 "index.txt": b"three folders, five files\n",
             }))
    return discs
