#!/usr/bin/env python3
"""Measures the CLI on a whole installation against one read of every byte of it.

  treebench.py [--cli PATH] [--pairs N] [--drop-caches] [--no-strace] TREE

TREE is an installation laid out by bench/make-tree.py; it is never written: each pair works on a
fresh copy of it, made beside it and removed at the end. Each pair runs, on that copy:
  patch --deep  first: no backup yet, every file naming the old root rewritten;
  patch --deep  again: nothing left to change;
  verify, inspect     on the patched copy;
  unpatch             every backup put back;
each against the floor, `grep -rlaF qt_prfxpath= COPY`, which reads every file of the copy as the
command finds it. The floor runs just before a command that changes the copy; before or after one
that does not, by turn from pair to pair, so that a drift of the machine weighs on both sides.
Every run starts with the copy synced (nothing of the set-up left to write back) and, by default,
in the page cache: warm. --drop-caches (root only) empties the page cache before every run instead,
which also empties it for everything else the machine runs.

For each command it prints the median of the pairs' time ratios (command / floor) and their middle
half, the median times, the peak resident set of each side (ru_maxrss from wait4, the figure
`/usr/bin/time -f %M` prints); then, from one more run of each under `strace -f -c` on a fresh
copy, the system calls per entry of the copy (files, links and directories, as the command finds
it). strace slows a command many times over: at 100,000 files that pass outlasts the pairs.
Run by hand, never by CI: it asserts nothing.
"""
import argparse
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_CLI = os.path.join(HERE, "..", "build", "dev6", "cli", "zel-qt-patcher-cli")
# name, arguments, whether it changes the copy
STEPS = [("patch --deep, first", ["patch", "--deep"], True),
         ("patch --deep, again", ["patch", "--deep"], False),
         ("verify", ["verify"], False),
         ("inspect", ["inspect"], False),
         ("unpatch", ["unpatch"], True)]
ENVIRONMENT = dict(os.environ, LC_ALL="C")


def settle(drop_caches):
    """The state every run starts from: nothing dirty, and the page cache full or empty."""
    os.sync()
    if drop_caches:
        with open("/proc/sys/vm/drop_caches", "w") as control:
            control.write("3\n")


def timed(command, drop_caches):
    """Seconds and peak resident KiB of `command`, its output thrown away, and its exit status."""
    settle(drop_caches)
    start = time.perf_counter()
    child = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, env=ENVIRONMENT)
    _, status, usage = os.wait4(child.pid, 0)
    seconds = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)
    return seconds, usage.ru_maxrss, child.returncode


def system_calls(command, scratch):
    """The system calls `command` and its children make, counted by strace -f -c."""
    report = os.path.join(scratch, "strace.txt")
    os.sync()
    subprocess.run(["strace", "-f", "-c", "-o", report] + command, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, env=ENVIRONMENT)
    for line in open(report):
        fields = line.split()
        if fields and fields[-1] == "total":
            return int(fields[3])
    sys.exit("error: no total in strace's report of " + " ".join(command))


def entries(root):
    return sum(len(directories) + len(files) for _, directories, files in os.walk(root))


def fresh_copy(tree, copy):
    if os.path.lexists(copy):
        shutil.rmtree(copy)
    subprocess.run(["cp", "-a", tree, copy], check=True)


def floor_of(copy):
    return ["grep", "-rlaF", "qt_prfxpath=", copy]


def measure(args, tree, scratch):
    copy = os.path.join(scratch, "qt")
    runs = {name: [] for name, _, _ in STEPS}
    for pair in range(args.pairs):
        fresh_copy(tree, copy)
        for name, arguments, changes in STEPS:
            command = [args.cli] + arguments + [copy]
            floor_first = changes or pair % 2 == 0
            first, second = (floor_of(copy), command) if floor_first else (command, floor_of(copy))
            one, other = timed(first, args.drop_caches), timed(second, args.drop_caches)
            floor, run = (one, other) if floor_first else (other, one)
            runs[name].append((run, floor))
        print("pair %d of %d done" % (pair + 1, args.pairs), file=sys.stderr, flush=True)
    return runs


def count_calls(args, tree, scratch):
    """Each command's system calls per entry, then the floor's, on a fresh copy taken through the steps.
    Printed as they come: strace -f slows a command many times over (minutes at 100,000 files)."""
    copy = os.path.join(scratch, "qt")
    fresh_copy(tree, copy)
    print("\n| Command | System calls per entry, command / floor | Entries |\n|---|---|---|")
    for name, arguments, _ in STEPS:
        count = entries(copy)
        floor = system_calls(floor_of(copy), scratch)
        command = system_calls([args.cli] + arguments + [copy], scratch)
        print("| %s | %.1f / %.1f | %d |" % (name, command / count, floor / count, count), flush=True)
    shutil.rmtree(copy)


def quartiles(values):
    if len(values) < 2:
        return values[0], values[0]
    low, _, high = statistics.quantiles(values, n=4, method="inclusive")
    return low, high


def report(args, tree, runs, load_before):
    files = sum(len(names) for _, _, names in os.walk(tree))
    size = sum(os.lstat(os.path.join(d, n)).st_size for d, _, names in os.walk(tree) for n in names)
    print("\n%s: %d entries (%d files and links), %.0f MiB; %d pairs, %s cache; load average %s at the start, %s at the end"
          % (tree, entries(tree), files, size / 2 ** 20, args.pairs, "dropped" if args.drop_caches else "warm",
             load_before, "%.1f" % os.getloadavg()[0]))
    print("\n| Command | Time, command / floor: median (middle half) | Median s, command / floor "
          "| Peak memory, command / floor | Exit status |")
    print("|---|---|---|---|---|")
    for name, _, _ in STEPS:
        pairs = runs[name]
        ratios = [run[0] / floor[0] for run, floor in pairs]
        low, high = quartiles(ratios)
        statuses = sorted({run[2] for run, _ in pairs})
        print("| %s | %.2f (%.2f–%.2f) | %.2f / %.2f | %s / %s KiB | %s |"
              % (name, statistics.median(ratios), low, high,
                 statistics.median(run[0] for run, _ in pairs), statistics.median(floor[0] for _, floor in pairs),
                 format(int(statistics.median(run[1] for run, _ in pairs)), ","),
                 format(int(statistics.median(floor[1] for _, floor in pairs)), ","),
                 ", ".join(map(str, statuses))), flush=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("tree")
    parser.add_argument("--cli", default=DEFAULT_CLI)
    parser.add_argument("--pairs", type=int, default=5)
    parser.add_argument("--drop-caches", action="store_true", help="root only: empty the page cache before every run")
    parser.add_argument("--no-strace", action="store_true")
    args = parser.parse_args()
    tree, args.cli = os.path.abspath(args.tree), os.path.abspath(args.cli)
    if not os.path.isdir(tree) or not os.access(args.cli, os.X_OK):
        sys.exit("error: need an installation from make-tree.py and the CLI (--cli)")
    if not args.no_strace and not shutil.which("strace"):
        sys.exit("error: strace is missing (apt-get install strace), or pass --no-strace")
    # A bench stopped by kill still removes its copy, which may be GBs.
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped"))
    load_before = "%.1f" % os.getloadavg()[0]
    # A short name: the copy's path must be no longer than the place a Qt 6 tree of make-tree.py was
    # built for, whose QtCore reads its prefix with that fixed length.
    scratch = tempfile.mkdtemp(prefix="tb", dir=os.path.dirname(tree))
    try:
        report(args, tree, measure(args, tree, scratch), load_before)
        if not args.no_strace:
            count_calls(args, tree, scratch)
    finally:
        shutil.rmtree(scratch, ignore_errors=True)


if __name__ == "__main__":
    main()
