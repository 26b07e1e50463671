"""Prints what `quorvane-cli mbr SLOT --json` must show for a make-disk.sh disk.

usage: mbr_expected.py IMG DISK_ID FAT_SERIAL LABEL [DISK_GUID,PART_GUID,NAME]

With the GPT triple, the disk is a make-disk.sh --gpt one: the MBR holds
sgdisk's protective entry, the groups show the GPT partition and "gpt" lists
it.

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


def main(img, disk_id, fat_serial, label, gpt=None):
    sectors = os.path.getsize(img) // 512
    mbr_count = sectors - START
    if gpt:
        mbr_count = sectors - 34 - START
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
    if gpt:
        disk_guid, part_guid, name = gpt.split(",", 2)
        last = START + mbr_count - 1
        # sgdisk's protective entry covers the disk from sector 1.
        protective = dict(empty, FS="...", Start=1, Count=min(sectors - 1, 0xFFFFFFFF),
                          Volume=min(sectors - 1, 0xFFFFFFFF) >> 21)
        expected["VolumeID"] = "00000000"
        expected["partitions"] = [protective, empty, empty, empty]
        groups[0] = group(1, ["FAT32", "", label, serial_stored, "512 B", str(START),
                              str(mbr_count), "%d GB" % volume])
        bar = [column(START) + 1, column(last + 1)]
        expected["bars"] = [bar] + [[1, 0]] * 3
        expected["gpt"] = {
            "Source": "primary", "HeaderLBA": 1, "DiskGUID": disk_guid.upper(),
            "Caption": "GPT: 1 partition", "Notes": [],
            "partitions": [{
                "Number": 1, "TypeGUID": "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7",
                "TypeName": "Microsoft basic data", "UniqueGUID": part_guid.upper(),
                "FirstLBA": START, "LastLBA": last, "Attributes": 0, "AttributesText": "none",
                "Name": name, "PastDiskEnd": False, "FS": "FAT32", "FSVersion": "",
                "VolumeLabel": label, "Serial": serial_stored, "UUID": "", "ClusterSize": 1,
                "Dirty": False, "MountPoints": []}],
            "bars": [bar],
        }
    json.dump(expected, sys.stdout, indent=1)
    print()


if __name__ == "__main__":
    if len(sys.argv) not in (5, 6):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    main(*sys.argv[1:])
