#!/bin/sh
# The test guest's first process: loads the CD drive modules, runs the guest program on the
# serial console with the arguments given after "--" on the kernel command line, then reports
# what the target folder holds and anything that appeared outside it, and powers off.
/bin/busybox --install -s /bin
export PATH=/bin

mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
# The copies go to their own file system, so that anything written elsewhere shows up in the
# comparison of the root file system below.
mount -t tmpfs -o size=700m tmpfs /target
mount -t tmpfs tmpfs /run
mkdir -p /mnt/discs /run/store

while read -r module; do
    insmod "/lib/modules/$module" || echo "GUEST insmod $module failed"
done </etc/modules

# The drives appear asynchronously once ata_piix has probed its channels.
drives=$(echo "$GUEST_DRIVES" | tr -cd 0-9)
[ -n "$drives" ] || drives=2
i=0
while [ "$(ls /sys/class/block | grep -c '^sr')" -lt "$drives" ] && [ $i -lt 100 ]; do
    sleep 0.1
    i=$((i + 1))
done
echo "GUEST drives $(ls /sys/class/block | grep '^sr' | tr '\n' ' ')"

stty -echo </dev/console 2>/dev/null
find / -xdev | sort >/run/before

/bin/dravolin-vm-guest "$@"
echo "GUEST exit $?"

cd /target
find . -type f | sort | while read -r f; do
    echo "SUM $(sha256sum "$f" | cut -d' ' -f1) ${f#./}"
done
find . ! -type f ! -type d | sort | while read -r f; do
    echo "ENT $(stat -c %F "$f" | tr ' ' '-') ${f#./}"
done
find / -xdev | sort >/run/after
diff /run/before /run/after | grep '^+/' | grep -v '^+/mnt/discs/' |
    sed 's/^+/OUTSIDE /'
echo "GUEST end"
sync
poweroff -f
