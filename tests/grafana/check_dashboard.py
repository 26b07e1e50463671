#!/usr/bin/python3
"""Checks resources/grafana/quorvane.json against what quorvane-cli exports.

usage: check_dashboard.py DASHBOARD METRICS_FILE...

Every panel and target takes its data source from the dashboard's
'datasource' variable (of type prometheus), so the dashboard loads into any
Grafana with a Prometheus data source; every metric name a query names, and
every label it selects on, is in one of the METRICS_FILEs (quorvane-cli
metrics on ATA and NVMe drives). Prints each problem; exit 1 when any.
"""
import json
import re
import sys

# PromQL words that are no metric names.
KEYWORDS = {"count", "or", "and", "unless", "vector", "time", "increase", "on", "by", "without",
            "sum", "max", "min", "avg", "rate", "label_values", "offset", "bool", "ignoring",
            "group_left", "group_right", "floor", "d", "h", "m", "s"}


def exported(paths):
    names, labels = set(), set()
    for path in paths:
        for line in open(path, encoding="utf-8"):
            if line.startswith("#") or not line.strip():
                continue
            m = re.match(r"([a-zA-Z_:][a-zA-Z0-9_:]*)(\{(.*)\})? ", line)
            if m:
                names.add(m.group(1))
                labels.update(re.findall(r'([a-zA-Z_][a-zA-Z0-9_]*)="', m.group(3) or ""))
    # Labels Prometheus itself adds to every scraped series.
    return names, labels | {"instance", "job"}


def queries(dashboard):
    for panel in dashboard.get("panels", []):
        yield panel, panel.get("datasource"), None
        for target in panel.get("targets", []):
            yield panel, target.get("datasource"), target.get("expr", "")
    for var in dashboard["templating"]["list"]:
        if var["type"] == "query":
            q = var["query"]
            yield var, var.get("datasource"), q["query"] if isinstance(q, dict) else q


def main(argv):
    if len(argv) < 3:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    dashboard = json.load(open(argv[1], encoding="utf-8"))
    names, labels = exported(argv[2:])
    problems = []
    variables = {v["name"]: v for v in dashboard["templating"]["list"]}
    source = variables.get("datasource")
    if not source or source["type"] != "datasource" or source["query"] != "prometheus":
        problems.append("no 'datasource' variable of type datasource with query prometheus")
    used = set()
    for where, ds, expr in queries(dashboard):
        title = where.get("title", where.get("name"))
        if not ds or ds.get("type") != "prometheus" or ds.get("uid") != "${datasource}":
            problems.append(f"{title}: data source {ds} is not the datasource variable")
        if expr is None:
            continue
        # label_values(METRIC, LABEL): the label must be exported too.
        for label in re.findall(r"label_values\([^,]*,\s*([a-zA-Z_][a-zA-Z0-9_]*)\s*\)", expr):
            if label not in labels:
                problems.append(f"{title}: label {label} is not exported")
        expr = re.sub(r"(label_values\([^,]*),[^)]*\)", r"\1)", expr)
        # Drop strings and range durations before looking for names.
        bare = re.sub(r'"[^"]*"', '""', expr)
        bare = re.sub(r"\[[0-9]+[smhdwy]\]", "", bare)
        for word in re.findall(r"[a-zA-Z_:][a-zA-Z0-9_:]*", bare):
            if word in KEYWORDS or word.startswith("$"):
                continue
            # A word before an = or =~ inside braces is a label.
            if re.search(r"[{,]\s*" + re.escape(word) + r"\s*(=~|!=|=|!~)", bare):
                if word not in labels:
                    problems.append(f"{title}: label {word} is not exported")
                continue
            if re.search(re.escape(word) + r"\s*\(", bare) and word not in names:
                problems.append(f"{title}: unknown function {word}")
                continue
            if word not in names:
                problems.append(f"{title}: metric {word} is not in the metrics output")
            used.add(word)
    for p in problems:
        print(p)
    if not problems:
        print(f"ok: {len(used)} metric names queried, all exported: {' '.join(sorted(used))}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
