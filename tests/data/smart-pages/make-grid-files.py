# Writes NAME.grid.txt for each drive NAME given: the S.M.A.R.T. grid rows its
# pages should give, decoded straight from the page bytes, independently of the
# C++ code. Run once when a drive is added:
#   python3 make-grid-files.py tests/data/smart-pages NAME...
# The tests check every value, threshold, raw value and the F/O flag letters
# of these rows against the saved skdump output (NAME.skdump.txt).
import sys, os
NAMES = [(1,"Raw Read Error Rate"),(2,"Throughput Performance"),(3,"Spin Up Time"),(4,"Start/Stop Count"),
(5,"Reallocated Sector Count"),(6,"Read Channel Margin"),(7,"Seek Error Rate"),(8,"Seek Time Performance"),
(9,"Power-On Hours Count"),(10,"Spin Retry Count"),(11,"Calibration Retry Count"),(12,"Power Cycle Count"),
(13,"Read Soft Error Rate"),(189,"High Fly Writes"),(190,"Airflow Temperature"),(191,"G-Sense Error Rate"),
(192,"Power-Off Retract Count"),(193,"Load Cycle Count"),(194,"Temperature"),(195,"Hardware ECC Recovered"),
(196,"Reallocation Event Count"),(197,"Current Pending Sector Count"),(198,"Uncorrectable Sector Count"),
(199,"UltraDMA CRC Error Count"),(200,"Multi Zone Error Rate"),(201,"Soft Read Error Rate"),(220,"Disk Shift"),
(221,"G-Sense Error Rate"),(222,"Loaded Hours"),(223,"Load Retry Count"),(224,"Load Friction"),
(225,"Load Cycle Count"),(226,"Load-in Time"),(228,"Power-off Retract Count"),(231,"Temperature"),
(240,"Head Flying Hours"),(250,"Read Error Retry Rate")]
d_dir = sys.argv[1]
for name in sys.argv[2:]:
    d = open(f"{d_dir}/{name}.smart-data.bin","rb").read()
    t = open(f"{d_dir}/{name}.smart-thresholds.bin","rb").read()
    slots = [d[2+12*k:14+12*k] for k in range(30)]
    tslots = [t[2+12*k:14+12*k] for k in range(30)]
    def reach(ss):
        out = [ss[0]]
        for s in ss[1:]:
            if s[0] == 0: break
            out.append(s)
        return out
    dr, tr = reach(slots), reach(tslots)
    lost = [s[0] for s in slots[len(dr):] if s[0] != 0]
    lines = [f"# {name}: the grid rows of its pages, decoded by hand from the page bytes",
             f"# ids behind an empty slot (not found): {' '.join(map(str, lost)) or 'none'}"]
    for i, n in NAMES:
        s = next((s for s in dr if s[0] == i), None)
        if s is None: continue
        flags = s[1] | (s[2] << 8); v, w = s[3], s[4]; raw = int.from_bytes(s[5:11], "little")
        if v == 0 and w == 0 and raw == 0: continue
        ts = next((x for x in tr if x[0] == i), None); th = ts[1] if ts else 0
        fl = "".join(L if flags & (1 << b) else "-" for L, b in zip("SCEPOF", [5,4,3,2,1,0]))
        st = "!!!" if v < th else "O.K."
        lines.append("|".join([f"({i:02X}h) {n}", str(v), str(w), f"{raw:012X}h", str(th), fl, st, str(raw)]))
    open(f"{d_dir}/{name}.grid.txt", "w").write("\n".join(lines) + "\n")
