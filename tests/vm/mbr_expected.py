"""Prints what `quorvane-cli mbr SLOT --json` must show for a make-disk.sh disk.

usage: mbr_expected.py IMG DISK_ID FAT_SERIAL LABEL

The values come from what make-disk.sh was told (disk id, FAT serial and
label, one FAT32 LBA partition from sector 2048 to the end, not active) and
from the image's size. Only the volume's own sector count, which mkfs.fat
chooses, is read from the image (its boot sector, bytes 32-35). The output
has no "slot"; check_mbr.py adds it.
"""

import json
import os
import struct
import sys

START = 2048
BAR_SPAN = 409 - 2


def main(img, disk_id, fat_serial, label):
    sectors = os.path.getsize(img) // 512
    mbr_count = sectors - START
    with open(img, "rb") as f:
        f.seek(START * 512)
        boot = f.read(512)
    total16, = struct.unpack_from("<H", boot, 19)
    total32, = struct.unpack_from("<I", boot, 32)
    count = total16 or total32
    serial = "%08X" % int(fat_serial, 16)
    serial_stored = "".join(reversed([serial[i:i + 2] for i in range(0, 8, 2)]))
    volume = mbr_count >> 21

    def column(sector):
        return round(sector / sectors * BAR_SPAN)  # Python rounds halves to even

    empty = {"Active": False, "FS": "Empty", "Start": 0, "Count": 0, "Volume": 0,
             "Serial": "", "ClusterSize": 0, "MFTCluster": 0, "VolumeLabel": "",
             "FSVersion": "", "Dirty": False, "DosLetter": " "}
    fat = dict(empty, FS="FAT32 LBA", Start=START, Count=count, Volume=volume,
               Serial=serial_stored, ClusterSize=1, VolumeLabel=label)

    def group(n, texts, active=False, dirty=False):
        p = "Part%d" % n
        out = {p + "ActiveL": active, p + "DirtyL": dirty}
        for name, text in zip(("FSL", "DosLabelL", "VolumeLabelL", "SerialL", "ClusterSizeL",
                               "StartL", "CountL", "VolumeL"), texts):
            out[p + name] = text
        return out

    groups = [group(1, ["FAT32 LBA", "", label, serial_stored, "512 B", str(START), str(count),
                        "%d GB" % volume])]
    groups += [group(n, ["Empty"] + ["..."] * 7) for n in (2, 3, 4)]
    expected = {
        "rc": 0,
        "simulated": False,
        "VolumeID": "%08X" % int(disk_id, 16),
        "Signature": "AA55h",
        "partitions": [fat, empty, empty, empty],
        "groups": groups,
        "bars": [[column(START) + 1, column(START + count)]] + [[1, 0]] * 3,
    }
    json.dump(expected, sys.stdout, indent=1)
    print()


if __name__ == "__main__":
    if len(sys.argv) != 5:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    main(*sys.argv[1:])
