#!/usr/bin/python3
"""The share of test code in this checkout, as the README quotes it: lines of every tracked code file
inside a test-only folder (tests/, server/tests/, any folder named test, fuzz or testdata) against the
lines of every tracked code file: sources, headers, scripts (.ci/run too), CMake, resource scripts,
Python, the installer's WiX source. Markdown, pictures and the fuzz corpus are not code.
Usage: tools/test-share.py [MAX_PERCENT]   prints the figure; exit 1 above MAX_PERCENT (default 33)."""
import os
import subprocess
import sys

CODE = (".cpp", ".cc", ".c", ".h", ".hpp", ".py", ".sh", ".cmake", ".rc", ".php", ".html", ".js", ".css", ".wxs")
NAMES = ("CMakeLists.txt", "Makefile", "run")
TEST_DIRS = {"tests", "test", "fuzz", "testdata"}

root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
limit = float(sys.argv[1]) if len(sys.argv) > 1 else 33.0
files = subprocess.run(["git", "-C", root, "ls-files"], capture_output=True, text=True, check=True).stdout.split()
test = other = 0
for f in files:
    if not (f.endswith(CODE) or os.path.basename(f) in NAMES) or "/corpus/" in f:
        continue
    path = os.path.join(root, f)
    if not os.path.isfile(path):
        continue
    with open(path, "rb") as fh:
        n = sum(1 for _ in fh)
    if TEST_DIRS & set(f.split("/")[:-1]):
        test += n
    else:
        other += n
share = 100.0 * test / max(1, test + other)
print(f"test code: {test} lines, other code: {other} lines, tests {share:.1f}% of {test + other} (at most {limit:.0f}%)")
sys.exit(0 if share <= limit else 1)
