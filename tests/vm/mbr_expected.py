"""Prints what `quorvane-cli mbr SLOT --json` must show for a make-disk.sh disk.

usage: mbr_expected.py IMG DISK_ID FAT_SERIAL LABEL [DISK_GUID,PART_GUID,NAME]

With the GPT triple, the disk is a make-disk.sh --gpt one: the MBR holds
sgdisk's protective entry, the groups show the GPT partition and "gpt" lists
it.

The values come from what make-disk.sh was told (disk id, FAT serial and
label, one FAT32 LBA partition from sector 2048 to the end, not active) and
from the image's size. Only the volume's own sector count, which mkfs.fat
chooses, is read from the image (its boot sector, bytes 32-35). The output
is the document's own members and "rc"; check_mbr.py adds the head, the slot
and the device.
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

    def bar(left, right):
        return {"left": left, "right": right}

    # An empty text and a zero count are left out of the document: null.
    def partition(number, type_byte, type_name, start=0, count=0, volume=0, serial=None,
                  cluster=None, label=None):
        return {"number": number, "active": False, "type": type_byte, "type_name": type_name,
                "start_lba": start, "sectors": count, "size_gib": volume, "serial": serial,
                "cluster_sectors": cluster, "mft_cluster": None, "volume_label": label,
                "fs_version": None, "dirty": False, "dos_letter": None, "mount_points": []}

    empty = [partition(n, 0, "Empty") for n in (2, 3, 4)]
    fat = partition(1, 0x0C, "FAT32 LBA", START, count, volume, serial_stored, 1, label)

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
    disk_signature = "%08X" % int(disk_id, 16)
    expected = {
        "rc": 0,
        "mbr": {"disk_signature": disk_signature, "boot_signature": "AA55h",
                "partitions": [fat] + empty},
        "window": {"volume_id": disk_signature, "signature": "AA55h", "groups": groups,
                   "bars": [bar(column(START) + 1, column(START + count))] + [bar(1, 0)] * 3},
    }
    if gpt:
        disk_guid, part_guid, name = gpt.split(",", 2)
        last = START + mbr_count - 1
        # sgdisk's protective entry (type EEh) covers the disk from sector 1;
        # the window names the disk by its GUID.
        protective = min(sectors - 1, 0xFFFFFFFF)
        expected["mbr"] = {"disk_signature": "00000000", "boot_signature": "AA55h",
                           "partitions": [partition(1, 0xEE, "...", 1, protective, protective >> 21)]
                           + empty}
        groups[0] = group(1, ["FAT32", "", label, serial_stored, "512 B", str(START),
                              str(mbr_count), "%d GB" % volume])
        gpt_bar = bar(column(START) + 1, column(last + 1))
        expected["window"].update(volume_id=disk_guid.upper(), bars=[gpt_bar] + [bar(1, 0)] * 3)
        expected["gpt"] = {
            "source": "primary", "header_lba": 1, "disk_guid": disk_guid.upper(),
            "caption": "GPT: 1 partition", "notes": [],
            "partitions": [{
                "number": 1, "type_guid": "EBD0A0A2-B9E5-4433-87C0-68B6B72699C7",
                "type_name": "Microsoft basic data", "unique_guid": part_guid.upper(),
                "first_lba": START, "last_lba": last, "sectors": last - START + 1,
                "attributes": {"value": 0, "string": "none"}, "name": name,
                "past_disk_end": False, "file_system": "FAT32", "fs_version": None,
                "volume_label": label, "serial": serial_stored, "uuid": None,
                "cluster_sectors": 1, "dirty": False, "mount_points": []}],
            "bars": [gpt_bar],
        }
    json.dump(expected, sys.stdout, indent=1)
    print()


if __name__ == "__main__":
    if len(sys.argv) not in (5, 6):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    main(*sys.argv[1:])
