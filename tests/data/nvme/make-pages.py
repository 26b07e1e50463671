#!/usr/bin/python3
"""Builds NVMe pages of real drives from the text smartctl printed for them.

Each sources/MODEL--FIRMWARE.txt is the unchanged output of `smartctl -x`
(or -a) of one real drive. This script reads every value that output shows
and writes, next to it, MODEL--FIRMWARE/:

  smart-log.bin      512 bytes, SMART / Health Information log (LID 02h)
  identify-ctrl.bin  4096 bytes, Identify Controller (CNS 01h)
  identify-ns.bin    4096 bytes, Identify Namespace, NSID 1 (CNS 00h)
  expected.json      the values as printed, in plain numbers

Fields the output does not show stay 0 in the pages and are named under
"not_printed" in expected.json: a test must not read such a 0 as the
drive's own value (smartctl hides some lines when they are 0, and older
versions print no NVMe Version or Log Page Attributes line at all). The parse is strict: a line of the health section it does not
know stops the script rather than being dropped.

Run with /usr/bin/python3 (standard library only) from any directory.
"""

import hashlib
import json
import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCES = os.path.join(HERE, "sources")

LOG_SIZE = 512
IDENTIFY_SIZE = 4096

# SMART / Health Information log: byte offset and width of each field.
LOG_LAYOUT = {
    "critical_warning": (0, 1),
    "temperature_kelvin": (1, 2),
    "available_spare": (3, 1),
    "available_spare_threshold": (4, 1),
    "percentage_used": (5, 1),
    "data_units_read": (32, 16),
    "data_units_written": (48, 16),
    "host_read_commands": (64, 16),
    "host_write_commands": (80, 16),
    "controller_busy_time": (96, 16),
    "power_cycles": (112, 16),
    "power_on_hours": (128, 16),
    "unsafe_shutdowns": (144, 16),
    "media_errors": (160, 16),
    "num_err_log_entries": (176, 16),
    "warning_temp_time": (192, 4),
    "critical_comp_time": (196, 4),
    "thm_temp1_trans_count": (216, 4),
    "thm_temp2_trans_count": (220, 4),
    "thm_temp1_total_time": (224, 4),
    "thm_temp2_total_time": (228, 4),
}
TEMP_SENSOR_OFFSET = 200  # 8 sensors, 2 bytes each, kelvin, 0 = not reported

# Health section line label -> (key, how the value is written).
HEALTH_LINES = {
    "Critical Warning": ("critical_warning", "hex"),
    "Temperature": ("temperature_kelvin", "celsius"),
    "Available Spare": ("available_spare", "percent"),
    "Available Spare Threshold": ("available_spare_threshold", "percent"),
    "Percentage Used": ("percentage_used", "percent"),
    "Data Units Read": ("data_units_read", "count"),
    "Data Units Written": ("data_units_written", "count"),
    "Host Read Commands": ("host_read_commands", "count"),
    "Host Write Commands": ("host_write_commands", "count"),
    "Controller Busy Time": ("controller_busy_time", "count"),
    "Power Cycles": ("power_cycles", "count"),
    "Power On Hours": ("power_on_hours", "count"),
    "Unsafe Shutdowns": ("unsafe_shutdowns", "count"),
    "Media and Data Integrity Errors": ("media_errors", "count"),
    "Error Information Log Entries": ("num_err_log_entries", "count"),
    "Warning  Comp. Temperature Time": ("warning_temp_time", "count"),
    "Critical Comp. Temperature Time": ("critical_comp_time", "count"),
    "Thermal Temp. 1 Transition Count": ("thm_temp1_trans_count", "count"),
    "Thermal Temp. 2 Transition Count": ("thm_temp2_trans_count", "count"),
    "Thermal Temp. 1 Total Time": ("thm_temp1_total_time", "count"),
    "Thermal Temp. 2 Total Time": ("thm_temp2_total_time", "count"),
}

# Identify Controller fields this script can fill: offset, width.
CTRL_LAYOUT = {
    "pci_vendor": (0, 2),
    "pci_subsystem_vendor": (2, 2),
    "controller_id": (78, 2),
    "version": (80, 4),
    "oacs": (256, 2),
    "frmw": (260, 1),
    "lpa": (261, 1),
    "elpe": (262, 1),
    "wctemp_kelvin": (266, 2),
    "cctemp_kelvin": (268, 2),
    "total_capacity_bytes": (280, 16),
    "unallocated_capacity_bytes": (296, 16),
    "oncs": (520, 2),
    "number_of_namespaces": (516, 4),
}

# Information section lines that carry nothing this script writes.
IGNORED_INFO = (
    "Local Time is",
    "Namespace 1 IEEE EUI-64",  # hidden ("...") in these reports
)

IDENTITY_KEYS = ("model", "serial", "firmware", "pci_vendor", "pci_subsystem_vendor",
                 "ieee_oui", "controller_id", "version", "version_text",
                 "number_of_namespaces", "total_capacity_bytes",
                 "unallocated_capacity_bytes", "oacs", "oncs", "frmw", "lpa",
                 "elpe", "mdts", "wctemp_kelvin", "cctemp_kelvin",
                 "namespace_size_blocks", "namespace_capacity_blocks",
                 "namespace_utilization_blocks", "nsfeat", "lba_size", "nlbaf",
                 "flbas", "lba_formats")


def number(text):
    """'1,234,567 [632 GB]' -> 1234567; '0' -> 0."""
    digits = text.split("[")[0].strip().replace(",", "")
    if not re.fullmatch(r"[0-9]+", digits):
        raise ValueError("not a plain count: %r" % text)
    return int(digits)


def celsius_to_kelvin(text):
    """'34 Celsius' -> 307; smartctl prints '-' for a 0 (unreported) value."""
    if text.strip() == "-":
        return 0
    match = re.fullmatch(r"(-?[0-9]+) Celsius", text.strip())
    if not match:
        raise ValueError("not a temperature: %r" % text)
    return int(match.group(1)) + 273


def percent(text):
    match = re.fullmatch(r"([0-9]+)%", text.strip())
    if not match:
        raise ValueError("not a percentage: %r" % text)
    return int(match.group(1))


def version_value(text):
    """'1.2.1' -> 0x00010201; smartctl prints '<1.2' when VER is 0."""
    if text == "<1.2":
        return 0
    parts = [int(p) for p in text.split(".")]
    if len(parts) == 2:
        parts.append(0)
    major, minor, tertiary = parts
    return (major << 16) | (minor << 8) | tertiary


def split_line(line):
    """'Label (0x0017):   value' -> ('Label', '0x0017', 'value')."""
    match = re.match(r"^(\S.*?)(?: \((0x[0-9a-fA-F]+)\))?:\s+(.*)$", line)
    if not match:
        return None
    return match.group(1), match.group(2), match.group(3).rstrip()


def parse_info(lines, out):
    for line in lines:
        parts = split_line(line)
        if not parts:
            continue
        label, hexval, value = parts
        if label == "Model Number":
            out["model"] = value
        elif label == "Serial Number":
            out["serial_printed"] = value
        elif label == "Firmware Version":
            out["firmware"] = value
        elif label == "PCI Vendor/Subsystem ID":
            out["pci_vendor"] = out["pci_subsystem_vendor"] = int(value, 16)
        elif label == "PCI Vendor ID":
            out["pci_vendor"] = int(value, 16)
        elif label == "PCI Vendor Subsystem ID":
            out["pci_subsystem_vendor"] = int(value, 16)
        elif label == "IEEE OUI Identifier":
            out["ieee_oui"] = int(value, 16)
        elif label == "Total NVM Capacity":
            out["total_capacity_bytes"] = number(value)
        elif label == "Unallocated NVM Capacity":
            out["unallocated_capacity_bytes"] = number(value)
        elif label == "Controller ID":
            out["controller_id"] = int(value)
        elif label == "NVMe Version":
            out["version_text"] = value
            out["version"] = version_value(value)
        elif label == "Number of Namespaces":
            out["number_of_namespaces"] = int(value)
        elif label == "Namespace 1 Size/Capacity":
            out["ns_size_bytes"] = out["ns_capacity_bytes"] = number(value)
        elif label == "Namespace 1 Size":
            out["ns_size_bytes"] = number(value)
        elif label == "Namespace 1 Capacity":
            out["ns_capacity_bytes"] = number(value)
        elif label == "Namespace 1 Utilization":
            out["ns_utilization_bytes"] = number(value)
        elif label == "Namespace 1 Formatted LBA Size":
            out["lba_size"] = int(value)
        elif label == "Firmware Updates":
            out["frmw"] = int(hexval, 16)
        elif label == "Optional Admin Commands":
            out["oacs"] = int(hexval, 16)
        elif label == "Optional NVM Commands":
            out["oncs"] = int(hexval, 16)
        elif label == "Log Page Attributes":
            out["lpa"] = int(hexval, 16)
        elif label == "Namespace 1 Features":
            out["nsfeat"] = int(hexval, 16)
        elif label == "Maximum Data Transfer Size":
            pages = int(value.split()[0])
            if pages & (pages - 1):
                raise ValueError("MDTS not a power of two: %r" % value)
            out["mdts"] = pages.bit_length() - 1
        elif label == "Warning  Comp. Temp. Threshold":
            out["wctemp_kelvin"] = celsius_to_kelvin(value)
        elif label == "Critical Comp. Temp. Threshold":
            out["cctemp_kelvin"] = celsius_to_kelvin(value)
        elif label in IGNORED_INFO:
            pass
        else:
            raise ValueError("unknown information line: %r" % line)


def parse_lba_table(lines, out):
    """' 1 +     512       0         3' rows of 'Supported LBA Sizes'."""
    formats = []
    for line in lines:
        match = re.fullmatch(r"\s*([0-9]+) ([+-])\s+([0-9]+)\s+([0-9]+)\s+([0-9]+)", line)
        if not match:
            continue
        index, mark, size, metadata, perf = match.groups()
        if int(index) != len(formats):
            raise ValueError("LBA format rows out of order: %r" % line)
        if int(size) & (int(size) - 1):
            raise ValueError("LBA size not a power of two: %r" % line)
        formats.append({"lba_size": int(size), "metadata_size": int(metadata),
                        "relative_performance": int(perf)})
        if mark == "+":
            out["flbas"] = int(index)
    if formats:
        out["lba_formats"] = formats
        out["nlbaf"] = len(formats) - 1  # 0-based count on the page


def parse_health(lines, out):
    sensors = {}
    for line in lines:
        parts = split_line(line)
        if not parts:
            continue
        label, _, value = parts
        sensor = re.fullmatch(r"Temperature Sensor ([1-8])", label)
        if sensor:
            sensors[int(sensor.group(1))] = celsius_to_kelvin(value)
            continue
        if label not in HEALTH_LINES:
            raise ValueError("unknown health line: %r" % line)
        key, kind = HEALTH_LINES[label]
        if kind == "hex":
            out[key] = int(value, 16)
        elif kind == "celsius":
            out[key] = celsius_to_kelvin(value)
        elif kind == "percent":
            out[key] = percent(value)
        else:
            out[key] = number(value)
    if sensors:
        out["temperature_sensor_numbers"] = sorted(sensors)
        out["temperature_sensors_kelvin"] = [sensors[n] for n in sorted(sensors)]


def parse_error_log_size(text, out):
    """'Error Information (NVMe Log 0x01, 16 of 64 entries)' or '(..., max 64
    entries)': smartctl prints ELPE + 1."""
    match = re.search(r"^Error Information \(NVMe Log 0x01, (?:[0-9]+ of|max) ([0-9]+) entries\)",
                      text, re.M)
    if match:
        out["elpe"] = int(match.group(1)) - 1


def section(lines, start, stop_prefixes):
    """Lines after the one equal to START up to the first blank line."""
    try:
        first = lines.index(start) + 1
    except ValueError:
        return []
    block = []
    for line in lines[first:]:
        if not line.strip() or any(line.startswith(p) for p in stop_prefixes):
            break
        block.append(line)
    return block


def parse(text, name):
    lines = text.splitlines()
    out = {"tool": lines[0]}
    info = section(lines, "=== START OF INFORMATION SECTION ===", ())
    parse_info(info, out)
    parse_lba_table(section(lines, "Id Fmt  Data  Metadt  Rel_Perf", ()), out)
    health_start = [l for l in lines if l.startswith("SMART/Health Information (NVMe Log 0x02")]
    if len(health_start) != 1:
        raise ValueError("no single health section")
    parse_health(section(lines, health_start[0], ()), out)
    parse_error_log_size(text, out)
    check(out, name)
    return out


def check(out, name):
    """Cross-checks between lines, so a misread number shows up here."""
    for key in ("model", "firmware", "temperature_kelvin", "lba_size"):
        if key not in out:
            raise ValueError("%s: no %s line" % (name, key))
    if "lba_formats" in out and out["lba_formats"][out["flbas"]]["lba_size"] != out["lba_size"]:
        raise ValueError("%s: formatted LBA size disagrees with the LBA table" % name)
    for key in ("ns_size_bytes", "ns_capacity_bytes", "ns_utilization_bytes"):
        if key in out and out[key] % out["lba_size"]:
            raise ValueError("%s: %s is not a whole number of blocks" % (name, key))


def made_up_serial(name):
    """The reports hide the serial ('--'); a stable stand-in, 20 characters at most."""
    return "QV" + hashlib.sha1(name.encode()).hexdigest()[:12].upper()


def finish_identity(values, name):
    printed = values.pop("serial_printed", None)
    if printed is None or printed == "--" or not printed.strip():
        values["serial"] = made_up_serial(name)
        values["serial_made_up"] = True
    else:
        values["serial"] = printed
        values["serial_made_up"] = False
    size = values["lba_size"]
    for src, dst in (("ns_size_bytes", "namespace_size_blocks"),
                     ("ns_capacity_bytes", "namespace_capacity_blocks"),
                     ("ns_utilization_bytes", "namespace_utilization_blocks")):
        if src in values:
            values[dst] = values.pop(src) // size


def put(page, offset, width, value, what):
    if value < 0 or value >= 1 << (8 * width):
        raise ValueError("%s = %d does not fit %d bytes" % (what, value, width))
    page[offset:offset + width] = value.to_bytes(width, "little")


def put_text(page, offset, width, text, what):
    raw = text.encode("ascii")
    if len(raw) > width:
        raise ValueError("%s longer than %d bytes: %r" % (what, width, text))
    page[offset:offset + width] = raw.ljust(width, b" ")


def smart_log(values):
    page = bytearray(LOG_SIZE)
    for key, (offset, width) in LOG_LAYOUT.items():
        if key in values:
            put(page, offset, width, values[key], key)
    for number_, kelvin in zip(values.get("temperature_sensor_numbers", ()),
                               values.get("temperature_sensors_kelvin", ())):
        put(page, TEMP_SENSOR_OFFSET + 2 * (number_ - 1), 2, kelvin, "sensor %d" % number_)
    return bytes(page)


def identify_ctrl(values):
    page = bytearray(IDENTIFY_SIZE)
    put_text(page, 4, 20, values["serial"], "serial")
    put_text(page, 24, 40, values["model"], "model")
    put_text(page, 64, 8, values["firmware"], "firmware")
    if "ieee_oui" in values:  # stored least significant byte first
        put(page, 73, 3, values["ieee_oui"], "ieee_oui")
    if "mdts" in values:
        put(page, 77, 1, values["mdts"], "mdts")
    for key, (offset, width) in CTRL_LAYOUT.items():
        if key in values:
            put(page, offset, width, values[key], key)
    return bytes(page)


def identify_ns(values):
    page = bytearray(IDENTIFY_SIZE)
    for key, offset in (("namespace_size_blocks", 0), ("namespace_capacity_blocks", 8),
                        ("namespace_utilization_blocks", 16)):
        if key in values:
            put(page, offset, 8, values[key], key)
    if "nsfeat" in values:
        put(page, 24, 1, values["nsfeat"], "nsfeat")
    formats = values.get("lba_formats")
    if formats is None:  # no table printed: the formatted size is all we know
        formats = [{"lba_size": values["lba_size"], "metadata_size": 0,
                    "relative_performance": 0}]
        values["lba_formats_assumed"] = True
    put(page, 25, 1, len(formats) - 1, "nlbaf")
    put(page, 26, 1, values.get("flbas", 0), "flbas")
    for i, fmt in enumerate(formats):
        word = (fmt["metadata_size"]
                | (fmt["lba_size"].bit_length() - 1) << 16
                | fmt["relative_performance"] << 24)
        put(page, 128 + 4 * i, 4, word, "lba format %d" % i)
    return bytes(page)


def not_printed(values):
    """Fields of the pages the output did not show: they stay 0."""
    missing = [k for k in LOG_LAYOUT if k not in values]
    if "temperature_sensors_kelvin" not in values:
        missing.append("temperature_sensors_kelvin")
    missing.append("endurance_group_critical_warning_summary")
    missing += [k for k in CTRL_LAYOUT if k not in values]
    missing += [k for k in ("ieee_oui", "mdts", "namespace_utilization_blocks", "nsfeat")
                if k not in values]
    missing += ["power_state_descriptors", "namespace_eui64"]
    return missing


def write_atomically(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def build(source):
    name = os.path.basename(source)[:-len(".txt")]
    with open(source, encoding="utf-8") as f:
        text = f.read()
    values = parse(text, name)
    finish_identity(values, name)
    pages = {"smart-log.bin": smart_log(values),
             "identify-ctrl.bin": identify_ctrl(values),
             "identify-ns.bin": identify_ns(values)}
    expected = {"source": "sources/%s.txt" % name}
    expected.update({k: v for k, v in values.items()
                     if k in LOG_LAYOUT or k.startswith("temperature_sensor")})
    expected.update({k: values[k] for k in IDENTITY_KEYS if k in values})
    for key in ("tool", "serial_made_up", "lba_formats_assumed"):
        if key in values:
            expected[key] = values[key]
    expected["not_printed"] = not_printed(values)
    folder = os.path.join(HERE, name)
    os.makedirs(folder, exist_ok=True)
    for file_name, data in pages.items():
        write_atomically(os.path.join(folder, file_name), data)
    write_atomically(os.path.join(folder, "expected.json"),
                     (json.dumps(expected, indent=2) + "\n").encode())
    return name


def main():
    sources = sorted(f for f in os.listdir(SOURCES) if f.endswith(".txt"))
    if not sources:
        sys.exit("no sources in %s" % SOURCES)
    for file_name in sources:
        try:
            print(build(os.path.join(SOURCES, file_name)))
        except ValueError as error:
            sys.exit("%s: %s" % (file_name, error))


if __name__ == "__main__":
    main()
