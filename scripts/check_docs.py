#!/usr/bin/env python3
"""Every file and test that README.md and docs/*.md name must exist.

What is checked: each `inline code span` outside fenced code blocks, and each
relative Markdown link target. A span is one of:

- a path: no blank, none of < > * { } $ % \\ ~ and no "...", and either
  - it holds a "/" and its first part is a file or folder tracked at the top
    of the repository (so `build/...` and `DIR/registry` are not paths):
    it must exist relative to the repository root (a trailing "/" is a folder);
  - or it has no "/" and ends in a source extension (.cpp .h .sh .py .md
    .cmake .nsi .rc .in .txt .json): a tracked file of that name must exist;
- a GoogleTest name: `Suite.Test` (both capitalised words) or `Suite.*`: a
  TEST, TEST_F or TEST_P of that suite and name (any for "*") in tests/;
- a benchmark: `BM_Name`: a BENCHMARK(BM_Name) in bench/;
- a test or target name: lower case words joined by "_" (`monitor_crash_log`,
  `bench_monitor`): an e2e case label of a tests/**/*.sh script ("name)" of
  its case statement), or a name in a CMakeLists.txt or .cmake file, or such
  a name's "prefix_${var}" with an item of a foreach(...) list of that file.
Anything else (a registry value, a command line, a message text) is not checked.
A code span must not break across lines (a line with an odd number of
backticks fails), so that no span is missed.
A link target is checked relative to the file holding it; URLs and "#anchors" are not.
Exit 1 with one line per missing item: FILE:LINE: what is missing.
"""
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SOURCE_EXT = (".cpp", ".h", ".sh", ".py", ".md", ".cmake", ".nsi", ".rc", ".in", ".txt", ".json")


def tracked():
    try:
        out = subprocess.run(["git", "ls-files"], cwd=ROOT, capture_output=True, text=True, check=True).stdout
        files = [f for f in out.splitlines() if f]
    except (OSError, subprocess.CalledProcessError):
        files = []
        for d, dirs, names in os.walk(ROOT):
            dirs[:] = [x for x in dirs if x not in (".git", "build")]
            files += [os.path.relpath(os.path.join(d, n), ROOT) for n in names]
    # Files not yet added count too, so the check runs before a commit.
    for d, dirs, names in os.walk(ROOT):
        dirs[:] = [x for x in dirs if x not in (".git", "build")]
        files += [os.path.relpath(os.path.join(d, n), ROOT) for n in names]
    return sorted(set(files))


def read(path):
    with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as f:
        return f.read()


def gtest_names(files):
    names = set()
    for f in files:
        if f.startswith("tests/") and f.endswith(".cpp"):
            for m in re.finditer(r"^\s*(?:TEST|TEST_F|TEST_P|TYPED_TEST)\(\s*(\w+)\s*,\s*(\w+)", read(f), re.M):
                names.add((m.group(1), m.group(2)))
    return names


def benchmarks(files):
    names = set()
    for f in files:
        if f.startswith("bench/") and f.endswith(".cpp"):
            names.update(re.findall(r"BENCHMARK\(\s*(BM_\w+)", read(f)))
    return names


def known_names(files):
    names = set()
    for f in files:
        if f.startswith("tests/") and f.endswith(".sh"):
            for m in re.finditer(r"^\s*([a-z0-9_|]+)\)", read(f), re.M):
                names.update(m.group(1).split("|"))
        if os.path.basename(f) == "CMakeLists.txt" or f.endswith(".cmake"):
            text = read(f)
            names.update(re.findall(r"[A-Za-z0-9_]+", text))
            # Items of any foreach list of the file, split at ":" and the like
            # (a list of "150:144" pairs gives ui_screenshots_150).
            items = set()
            for m in re.finditer(r"foreach\(\s*\w+\s+([^)]*)\)", text):
                items.update(re.findall(r"[A-Za-z0-9_]+", m.group(1)))
            for prefix in re.findall(r"(\w+)_\$\{\w+\}", text):
                names.update(prefix + "_" + item for item in items)
    return names


def spans(text):
    """(line number, span, is_link) outside fenced blocks."""
    fenced = False
    for n, line in enumerate(text.splitlines(), 1):
        if line.lstrip().startswith("```"):
            fenced = not fenced
            continue
        if fenced:
            continue
        if line.count("`") % 2:
            yield n, None, False
        for m in re.finditer(r"(`+)(.+?)\1", line):
            yield n, m.group(2).strip(), False
        for m in re.finditer(r"\]\(([^)\s]+)\)", re.sub(r"`[^`]*`", "", line)):
            yield n, m.group(1), True


def main():
    files = tracked()
    fileset = set(files)
    folders = {os.path.dirname(f) for f in files}
    for f in list(folders):
        while f:
            f = os.path.dirname(f)
            folders.add(f)
    top = {f.split("/")[0] for f in files}
    basenames = {os.path.basename(f) for f in files}
    tests = gtest_names(files)
    suites = {s for s, _ in tests}
    names = known_names(files)
    benches = benchmarks(files)
    docs = ["README.md"] + sorted(f for f in files if f.startswith("docs/") and f.endswith(".md"))
    missing = []
    checked = 0
    for doc in docs:
        for n, s, link in spans(read(doc)):
            where = f"{doc}:{n}"
            if s is None:
                missing.append(f"{where}: a code span breaks across lines; keep each on one line")
                continue
            if link:
                if re.match(r"^[a-z]+:", s) or s.startswith("#"):
                    continue
                target = os.path.normpath(os.path.join(os.path.dirname(doc), s.split("#")[0]))
                checked += 1
                if target not in fileset and target not in folders:
                    missing.append(f"{where}: link to a missing file: {s}")
                continue
            if re.search(r"\s|[<>*{}$%\\~]|\.\.\.", s) is None and "/" in s and s.split("/")[0] in top:
                checked += 1
                p = s.rstrip("/")
                if p not in fileset and p not in folders:
                    missing.append(f"{where}: no such file or folder: `{s}`")
            elif re.fullmatch(r"[\w.+-]+", s) and "/" not in s and s.endswith(SOURCE_EXT) and not re.fullmatch(r"\.\w+", s):
                checked += 1
                if s not in basenames:
                    missing.append(f"{where}: no file of that name: `{s}`")
            elif m := re.fullmatch(r"([A-Z]\w*)\.([A-Z]\w*|\*)", s):
                checked += 1
                suite, test = m.groups()
                if (test == "*" and suite not in suites) or (test != "*" and (suite, test) not in tests):
                    missing.append(f"{where}: no such test: `{s}`")
            elif re.fullmatch(r"BM_\w+", s):
                checked += 1
                if s not in benches:
                    missing.append(f"{where}: no such benchmark: `{s}`")
            elif re.fullmatch(r"[a-z][a-z0-9]*(?:_[a-z0-9]+)+", s):
                checked += 1
                if s not in names:
                    missing.append(f"{where}: no such e2e case, test or target: `{s}`")
    for line in missing:
        print("docs check: " + line, file=sys.stderr)
    if missing:
        print(f"docs check: {len(missing)} of {checked} names missing", file=sys.stderr)
        return 1
    print(f"docs check: {checked} names in {len(docs)} files exist")
    return 0


if __name__ == "__main__":
    sys.exit(main())
