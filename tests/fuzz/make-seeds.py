#!/usr/bin/python3
"""Writes the seed corpus of every fuzz target into OUT/<target>/ from the
fixtures in tests/data, the sample drives, and disk images made by the same
tools the MBR tests use (sfdisk, mkfs.fat, mkntfs)."""
import os
import pathlib
import struct
import subprocess
import sys
import tempfile

top = pathlib.Path(__file__).resolve().parents[2]
data = top / "tests" / "data"
out = pathlib.Path(sys.argv[1])


def seed(target, name, payload):
    d = out / target
    d.mkdir(parents=True, exist_ok=True)
    (d / name).write_bytes(payload)


pages = sorted(p.name[: -len(".identify.bin")] for p in (data / "smart-pages").glob("*.identify.bin"))


def page(drive, kind):
    return (data / "smart-pages" / f"{drive}.{kind}.bin").read_bytes()


# fuzz_scan: drives 0 and 2 present, a healthy RETURN STATUS, a native max
# of the user count + 2047 sectors, Status 0x50, then the three pages.
for i, drive in enumerate(pages):
    ident = page(drive, "identify")
    words = struct.unpack("<256H", ident)
    sectors = (words[103] << 48 | words[102] << 32 | words[101] << 16 | words[100]) if words[86] & 0x400 \
        else (words[61] << 16 | words[60])
    native = sectors + 2047
    header = struct.pack("<HBB", 0x0005, 0x4F, 0xC2) + native.to_bytes(6, "little") + bytes([0x50, 0x04])
    body = ident + page(drive, "smart-data") + page(drive, "smart-thresholds")
    seed("fuzz_scan", drive, header + body)
    # The same with a failing and an aborted command early on.
    seed("fuzz_scan", drive + "-faults", header + body + bytes([0, 0, 1, 0, 2] + [0] * (i % 7) + [2]))
    # fuzz_smart_pages: vendor, HEX/DEC, a short length, the two pages.
    seed("fuzz_smart_pages", drive, bytes([i, i & 1]) + struct.pack("<H", 100 + 37 * i)
         + page(drive, "smart-data") + page(drive, "smart-thresholds"))

# fuzz_sgio: the captured sense buffers, each for a few commands and statuses.
for hexfile in sorted((data / "sense").glob("*.hex")):
    sense = bytes.fromhex(hexfile.read_text())
    for selector, status in ((2, 1), (7, 1), (3, 1), (0, 0), (1, 1)):
        seed("fuzz_sgio", f"{hexfile.stem}-{selector}", bytes([selector, status, 0, 1, 0]) + sense)

# fuzz_nvme: the real drives' health logs and Identify pages, and the
# helper requests of the four NVMe reads.
for i, folder in enumerate(sorted((data / "nvme").glob("*/smart-log.bin"))):
    for kind in ("smart-log", "identify-ctrl", "identify-ns"):
        seed("fuzz_nvme", f"{folder.parent.name}-{kind}", bytes([i]) + (folder.parent / f"{kind}.bin").read_bytes())
for name, words in {"identify-ctrl": (0x06, 0, 0x01), "identify-ns": (0x06, 1, 0x00),
                    "smart-log": (0x02, 0xFFFFFFFF, 0x007F0002), "error-log": (0x02, 0xFFFFFFFF, 0x000F0001)}.items():
    opcode, nsid, cdw10 = words
    seed("fuzz_nvme", "helper-" + name, bytes([3, opcode, 0, 0, 0]) + struct.pack("<II", nsid, cdw10) + bytes(20))

# fuzz_helper_request: the registers of commands the program sends.
helper_requests = {
    "identify": (1, "00 00 00 00 00 b0 ec 00 00 00 00 00"),
    "smart-read-data": (0, "d0 01 01 4f c2 a0 b0 00 00 00 00 00"),
    "smart-return-status": (3, "da 01 01 4f c2 b0 b0 00 00 00 00 00"),
    "set-features-aam": (2, "42 80 00 00 00 a0 ef 00 00 00 00 00"),
    "read-sectors-ext": (5, "00 01 12 00 cd 50 24 00 00 34 56 78"),
    "read-native-max": (4, "00 00 00 00 00 40 27 00 00 00 00 00"),
}
for name, (drive, registers) in helper_requests.items():
    seed("fuzz_helper_request", name, bytes([drive]) + bytes.fromhex(registers))

# fuzz_mountinfo: the fixture as it is.
seed("fuzz_mountinfo", "mountinfo", (data / "mbr" / "mountinfo").read_bytes())

# fuzz_drive_ini / fuzz_ini: the sample drives' drive.ini and typical files.
inis = {p.parent.name: p.read_bytes() for p in sorted((top / "samples" / "drives").glob("*/drive.ini"))}
inis["faults"] = b"[drive]\nstatus = EXCEEDED\nnative-max = 0x1FFF\nfail = identify, smart-read-data\n" \
                 b"abort = set-features,read-sectors\n"
inis["profile"] = b"\xef\xbb\xbf[Main]\r\nRefreshInterval=60\r\n; comment\r\n[SMTP]\r\nHost = mail.example\r\n" \
                  b"Subject=S.M.A.R.T. Report\r\n[main]\r\nrefreshinterval=15\r\n"
for name, text in inis.items():
    seed("fuzz_drive_ini", name, text)
    seed("fuzz_ini", name, bytes([4, 6, 9]) + b"Main" + b"Status" + b" value 1 " + text)

# fuzz_settings: the settings files of the settings tests.
for ini in sorted((data / "settings").glob("*.ini")):
    seed("fuzz_settings", ini.stem, bytes([8, 16]) + (5).to_bytes(2, "little") + b"SettingsRefresh Interval"
         + b" 30 \"" + ini.read_bytes())

# fuzz_mail_text: locale, then what a user types into the address fields.
texts = [
    b"\"Admin, Ops\" <admin@example.org>, b@example.org; (comment) c@example.org",
    b"Team: a@x.org, \"B \\\"q\\\"\" <b@y.org>;, J\xc3\xbcrgen M\xc3\xbcller <jm@example.de>",
    "S.M.A.R.T. Report \u00e4\u00f6\u00fc \u4e2d\u6587 \u65e5\u672c\u8a9e \ud55c\uad6d\uc5b4".encode(),
    b"Subject with a very long text, that goes well beyond the seventy-eight columns, \"quoted, part\" too",
]
for i, text in enumerate(texts):
    for locale in range(6):
        seed("fuzz_mail_text", f"text{i}-{locale}", bytes([locale]) + text)


# fuzz_smtp: the replies of a server that takes the report, read in pieces.
def pieces(*replies, split=0):
    blob = b"".join(replies)
    size = split or 255
    chunks = [blob[i:i + size] for i in range(0, len(blob), size)]
    return b"".join(bytes([len(c)]) + c for c in chunks)


dialogue = [b"220 mail.example ESMTP\r\n", b"250-mail.example\r\n250-AUTH LOGIN PLAIN\r\n250-AUTH=LOGIN\r\n250 OK\r\n",
            b"334 VXNlcm5hbWU6\r\n", b"334 UGFzc3dvcmQ6\r\n", b"235 2.7.0 Accepted\r\n", b"250 Reset\r\n",
            b"250 Sender OK\r\n", b"250 Recipient OK\r\n", b"250 Recipient OK\r\n", b"250 Recipient OK\r\n",
            b"354 Go ahead\r\n", b"250 Queued\r\n"]
seed("fuzz_smtp", "login", bytes([1]) + pieces(*dialogue))
seed("fuzz_smtp", "login-split", bytes([3]) + pieces(*dialogue, split=7))
seed("fuzz_smtp", "plain", bytes([0]) + pieces(dialogue[0], b"502 no EHLO\r\n", b"250 hello\r\n", *dialogue[5:]))
seed("fuzz_smtp", "refused", bytes([1]) + pieces(dialogue[0], dialogue[1], b"535 5.7.8 Bad\r\n"))


# fuzz_mbr: disks partitioned by sfdisk with file systems by mkfs.fat and
# mkntfs; the seed holds the sectors the reading visits.
def tool(*args):
    env = dict(os.environ, PATH=os.environ.get("PATH", "") + ":/usr/sbin:/sbin", LC_ALL="C")
    subprocess.run(args, check=True, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def make_disk(work, sectors, layout):
    image = work / "disk.img"
    with open(image, "wb") as f:
        f.truncate(sectors * 512)
    script = "label: dos\nunit: sectors\n" + "".join(f"start={s}, size={n}, type={t}{a}\n"
                                                        for s, n, t, a, _ in layout)
    subprocess.run(["sfdisk", "-q", str(image)], input=script.encode(), check=True,
                   env=dict(os.environ, PATH=os.environ.get("PATH", "") + ":/usr/sbin:/sbin"),
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for i, (start, count, _, _, mkfs) in enumerate(layout):
        if not mkfs:
            continue
        fs = work / f"fs{i}"
        with open(fs, "wb") as f:
            f.truncate(count * 512)
        tool(*[str(fs) if a == "{}" else a for a in mkfs])
        with open(fs, "rb") as src, open(image, "r+b") as dst:
            dst.seek(start * 512)
            dst.write(src.read())
    return image.read_bytes()


def visited(disk):
    lbas = {0}
    mbr = disk[:512]
    for slot in range(4):
        entry = mbr[446 + 16 * slot: 462 + 16 * slot]
        start = struct.unpack_from("<I", entry, 8)[0]
        if entry[4] == 0 or start * 512 >= len(disk):
            continue
        lbas.add(start)
        boot = disk[start * 512: start * 512 + 512]
        if boot[3:11] == b"NTFS    ":
            spc = boot[0x0D] if boot[0x0D] <= 0x80 else 1 << (256 - boot[0x0D])
            mft = struct.unpack_from("<Q", boot, 0x30)[0] & 0xFFFFFFFF
            lbas.add((start + mft * spc + 6) & 0xFFFFFFFF)
    return sorted(l for l in lbas if l * 512 < len(disk))


try:
    with tempfile.TemporaryDirectory() as tmp:
        work = pathlib.Path(tmp)
        disk = make_disk(work, 200000, [
            (2048, 20480, "4", " ,bootable", ["mkfs.fat", "-F", "16", "-s", "1", "-n", "QUORVANE", "-i", "1234ABCD", "{}"]),
            (22528, 40960, "7", "", ["mkntfs", "-q", "-F", "-Q", "-L", "Daten", "{}"]),
            (63488, 70000, "c", "", ["mkfs.fat", "-F", "32", "-s", "1", "-n", "BIG", "{}"]),
            (133488, 60000, "83", "", None),
        ])
        chunks = b"".join(struct.pack("<I", l) + disk[l * 512: l * 512 + 512] for l in visited(disk))
        seed("fuzz_mbr", "four-slots-lba48", bytes([1]) + (200000).to_bytes(6, "little") + chunks)
        seed("fuzz_mbr", "four-slots-28bit", bytes([0]) + (150000).to_bytes(6, "little") + chunks)
except (OSError, subprocess.CalledProcessError) as error:
    sys.exit(f"make-seeds.py: cannot make the MBR seed disk: {error}")
# An empty disk signature and table, too.
seed("fuzz_mbr", "blank", bytes([1]) + (1000).to_bytes(6, "little") + struct.pack("<I", 0) + bytes(510) + b"\x55\xaa")


# fuzz_mbr on a GPT disk: sgdisk's protective MBR, the primary header and its
# entry array, and the first sectors of a FAT32, an ext4 and an empty
# partition (the backup would make the input too long).
try:
    with tempfile.TemporaryDirectory() as tmp:
        work = pathlib.Path(tmp)
        image = work / "gpt.img"
        sectors = 200000
        with open(image, "wb") as f:
            f.truncate(sectors * 512)
        tool("sgdisk", "-n", "1:2048:+40M", "-t", "1:ef00", "-c", "1:EFI",
             "-n", "2:0:+16M", "-t", "2:8300", "-c", "2:r\u00e9sum\u00e9", "-A", "2:set:2",
             "-n", "3:0:+1M", "-t", "3:0c01", str(image))
        for start, count, mkfs in ((2048, 81920, ["mkfs.fat", "-F", "32", "-s", "1", "-n", "EFI"]),
                                   (83968, 32768, ["mkfs.ext4", "-q", "-L", "root"])):
            fs = work / f"fs{start}"
            with open(fs, "wb") as f:
                f.truncate(count * 512)
            tool(*mkfs, str(fs))
            with open(fs, "rb") as src, open(image, "r+b") as dst:
                dst.seek(start * 512)
                dst.write(src.read())
        disk = image.read_bytes()
        lbas = list(range(34)) + [s + k for s in (2048, 83968, 116736) for k in (0, 2, 128, 129)]
        chunks = b"".join(struct.pack("<I", l) + disk[l * 512: l * 512 + 512] for l in lbas)
        seed("fuzz_mbr", "gpt-three", bytes([1]) + sectors.to_bytes(6, "little") + chunks)
except (OSError, subprocess.CalledProcessError) as error:
    sys.exit(f"make-seeds.py: cannot make the GPT seed disk: {error}")
