#!/usr/bin/env python3
"""The figures of tcore's speed goals from one benchmark run.

Reads the JSON files that the bench programs wrote (--benchmark_out=...
--benchmark_out_format=json) in DIR, and DIR/demo-rates.txt when the demo
ran ("sqlite ROWS_PER_S", "postgres ROWS_PER_S" lines), and prints one line
per figure: name, tcore, baseline, ratio, goal. Each ratio compares two
benchmarks of the same run, so a busy machine moves both. A benchmark that
did not run leaves its line at "-".

    ratios.py DIR
"""
import json
import os
import statistics
import sys


def load(directory):
    """Benchmark name (without /arguments) -> {real, cpu, items}, medians in ns."""
    runs = {}
    for file in sorted(os.listdir(directory)):
        if not file.endswith(".json"):
            continue
        try:
            with open(os.path.join(directory, file)) as f:
                data = json.load(f)
        except (OSError, ValueError):
            continue
        for b in data.get("benchmarks", []):
            if b.get("run_type", "iteration") != "iteration" or "error_occurred" in b:
                continue
            scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}.get(b.get("time_unit", "ns"), 1.0)
            entry = runs.setdefault(b["name"].split("/")[0], {"real": [], "cpu": [], "items": []})
            entry["real"].append(b["real_time"] * scale)
            entry["cpu"].append(b["cpu_time"] * scale)
            if "items_per_second" in b:
                entry["items"].append(b["items_per_second"])
    return {name: {k: statistics.median(v) if v else None for k, v in e.items()} for name, e in runs.items()}


def demo_rates(directory):
    rates = {}
    try:
        with open(os.path.join(directory, "demo-rates.txt")) as f:
            for line in f:
                parts = line.split()
                if len(parts) == 2:
                    rates[parts[0]] = float(parts[1])
    except (OSError, ValueError):
        pass
    return rates


def time_of(runs, name, clock):
    r = runs.get(name)
    return r[clock] if r else None


def fmt_time(ns):
    if ns is None:
        return "-"
    for unit, size in (("s", 1e9), ("ms", 1e6), ("us", 1e3)):
        if ns >= size:
            return "%.3g %s" % (ns / size, unit)
    return "%.3g ns" % ns


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    runs = load(sys.argv[1])
    demo = demo_rates(sys.argv[1])
    rows = []

    # Messaging: wall time, tcore against a plain socket loop or condition variable.
    def speed(label, ours, plain, goal):
        a, b = time_of(runs, ours, "real"), time_of(runs, plain, "real")
        rows.append((label, fmt_time(a), fmt_time(b), "%.2fx the plain rate" % (b / a) if a and b else "-", goal))

    def slowdown(label, ours, plain, goal):
        a, b = time_of(runs, ours, "real"), time_of(runs, plain, "real")
        rows.append((label, fmt_time(a), fmt_time(b), "%.2fx the plain time" % (a / b) if a and b else "-", goal))

    speed("one-way, one sender", "BM_QueueOneWay", "BM_PlainOneWay", ">= 0.8x")
    speed("  (against a sender that waits for the close)", "BM_QueueOneWay", "BM_PlainOneWayConfirmed", "")
    speed("  (the same, carrying the typed message)", "BM_QueueOneWay", "BM_PlainOneWayConfirmedTyped", "")
    slowdown("request/reply", "BM_QueueRequestReply", "BM_PlainRequestReply", "<= 1.15x")
    slowdown("  (against senders that wait for the close)", "BM_QueueRequestReply",
             "BM_PlainRequestReplyConfirmed", "")
    slowdown("  (the same, carrying the typed message)", "BM_QueueRequestReply",
             "BM_PlainRequestReplyConfirmedTyped", "")
    slowdown("reader wake-up", "BM_QueueWakeUp", "BM_ConditionVariableWakeUp", "<= 2x")
    speed("one-way, 8 senders", "BM_QueueOneWay8Senders", "BM_PlainOneWay8Senders", ">= 1.0x")

    # The codec: one thread's CPU time against memcpy of the same bytes.
    def against_memcpy(label, ours, copy, goal):
        a, b = time_of(runs, ours, "cpu"), time_of(runs, copy, "cpu")
        rows.append((label, fmt_time(a), fmt_time(b), "1/%.1f of memcpy" % (a / b) if a and b else "-", goal))

    against_memcpy("unpack agent message, new object", "BM_UnpackAgentMessage", "BM_MemcpyPackedBytes",
                   ">= 1/20")
    against_memcpy("unpack agent message, reused object", "BM_UnpackAgentMessageReused",
                   "BM_MemcpyPackedBytes", ">= 1/20")
    against_memcpy("  (floor: copy of the message)", "BM_CopyAgentMessage", "BM_MemcpyPackedBytes", "")
    against_memcpy("new lists", "BM_ReadListsFresh", "BM_MemcpySameBytes", ">= 1/20")
    against_memcpy("  (floor: copy of the lists)", "BM_CopyLists", "BM_MemcpySameBytes", "")
    against_memcpy("pack agent message", "BM_PackAgentMessage", "BM_MemcpyPackedBytes", ">= 1/5")

    # Bulk copy: rows per second, against the database's own INSERT ... SELECT
    # and against the same copy written directly on ODBC (the driver's floor).
    copy = runs.get("BM_CopyRows", {}).get("items")

    def copy_against(label, baseline, what):
        other = runs.get(baseline, {}).get("items")
        rows.append((label, "%.0f rows/s" % copy if copy else "-", "%.0f rows/s" % other if other else "-",
                     "%.2fx %s" % (copy / other, what) if copy and other else "-", ""))

    copy_against("copy bench, SQLite", "BM_InsertSelectSameRows", "INSERT ... SELECT")
    copy_against("  (against plain ODBC, many rows an INSERT)", "BM_PlainOdbcCopyManyRowInsert", "the plain rate")
    copy_against("  (against plain ODBC, one row an INSERT)", "BM_PlainOdbcCopyOneRowInsert", "the plain rate")
    for key, label, goal in (("sqlite", "demo copy, SQLite", ">= 300,000 rows/s"),
                             ("postgres", "demo copy, PostgreSQL", ">= 50,000 rows/s")):
        rate = demo.get(key)
        rows.append((label, "%.0f rows/s" % rate if rate else "-", "-", "-", goal))

    header = ("figure", "tcore", "baseline", "ratio", "goal")
    widths = [max(len(r[i]) for r in rows + [header]) for i in range(len(header))]
    print()
    for r in [header] + rows:
        print("  ".join(r[i].ljust(widths[i]) for i in range(len(header))).rstrip())


if __name__ == "__main__":
    main()
