#!/usr/bin/python3
"""How many times slower than a release build the product's programs start
and draw (sanitizer builds are several times slower); waits for what they
show are this many times longer."""
import os

SLOWDOWN = float(os.environ.get('PRIVET_TEST_SLOWDOWN', '1'))


def scaled(seconds):
    return seconds * SLOWDOWN
