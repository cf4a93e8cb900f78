#!/usr/bin/env python3
"""Median and spread of the samples in a results file.

Each line is "MEASURE VALUE". Prints, per measure in first-seen order,
"MEASURE median min max count". With --ratio A B, also the median of the
per-round ratios A/B (rounds are the n-th samples of each), or the ratio
of the medians when a round lacks one of them.
"""
import statistics
import sys


def load(path):
    samples = {}
    for line in open(path):
        parts = line.split()
        if len(parts) == 2:
            samples.setdefault(parts[0], []).append(float(parts[1]))
    return samples


def main():
    samples = load(sys.argv[1])
    args = sys.argv[2:]
    if args and args[0] == "--ratio":
        a, b = samples[args[1]], samples[args[2]]
        if len(a) != len(b):
            # A round without one of the two: only the medians compare.
            print("%s/%s %.2f (ratio of medians, %d and %d samples)" % (
                args[1], args[2], statistics.median(a) / statistics.median(b), len(a), len(b)))
            return
        ratios = [x / y for x, y in zip(a, b) if y]
        print("%s/%s %.2f %.2f %.2f %d" % (args[1], args[2], statistics.median(ratios),
                                           min(ratios), max(ratios), len(ratios)))
        return
    for name, values in samples.items():
        print("%s %.3f %.3f %.3f %d" % (name, statistics.median(values), min(values),
                                        max(values), len(values)))


main()
