#!/usr/bin/env python3
"""Mutation testing of vesk.

Applies one small change at a time to vesk's sources (src/), rebuilds only the
test binary in a build directory of its own, runs the fast suites with a time
limit, and prints a table: where, what changed, and which test killed the
mutant or that it survived. A mutant that the tests let through runs the
same tests once more under valgrind's memcheck (when it is installed and
VESK_MUTATE_MEMCHECK is not 0): a read of memory left unwritten, which passes
or fails by what the memory happened to hold, kills it there when vesk's
code is on the error's stack or made the memory. Mutants listed in
tests/mutation/equivalent.txt change nothing anyone can observe; they are
reported as such and left out of the score.

  scripts/mutate.py --sample 40 --seed 1     a sample, in minutes
  scripts/mutate.py                          every mutant (hours)
  scripts/mutate.py --list                   the catalogue, nothing run
  scripts/mutate.py --only ID [--only ID]    given mutants again
  scripts/mutate.py --file src/button/pen.cpp --grep InCloseColumn

The source file is always put back, also on Ctrl-C; a run that was killed
outright leaves a backup that the next run restores first.
"""

import argparse
import hashlib
import itertools
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
from dataclasses import dataclass
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
SRC = ROOT / "src"
EQUIVALENT = ROOT / "tests" / "mutation" / "equivalent.txt"
# Mutants that no test kills yet and that are not equivalent: the work left.
# The CI sample reports them but fails only on a survivor missing here.
SURVIVORS = ROOT / "tests" / "mutation" / "survivors.txt"
# The slow suites are left out: the fault sweep replays every scenario once
# per platform call, the soak repeats, and the command-line tests run the
# vesk-sim executable, which this build does not relink.
FAST_FILTER = "-Scenarios/FaultSweep.*:Soak.*:CliTest.*"

# Named constants whose neighbour is a plausible slip.
NAME_SWAPS = {
    "TRUE": "FALSE",
    "FALSE": "TRUE",
    "HWND_NOTOPMOST": "HWND_TOPMOST",
    "HWND_BOTTOM": "HWND_TOP",
    "THREAD_PRIORITY_ABOVE_NORMAL": "THREAD_PRIORITY_NORMAL",
    "SW_MINIMIZE": "SW_HIDE",
    "TRANSPARENT": "OPAQUE",
    "PS_NULL": "PS_SOLID",
    "FW_BOLD": "FW_NORMAL",
    "COLOR_HIGHLIGHT": "COLOR_MENU",
    "COLOR_HIGHLIGHTTEXT": "COLOR_MENUTEXT",
    "COLOR_MENU": "COLOR_HIGHLIGHT",
    "COLOR_MENUTEXT": "COLOR_HIGHLIGHTTEXT",
    "MF_GRAYED": "MF_ENABLED",
    "MF_ENABLED": "MF_GRAYED",
    "LOGPIXELSX": "LOGPIXELSY",
    "LOGPIXELSY": "LOGPIXELSX",
}
KEYWORDS = {"if", "while", "for", "switch", "return", "sizeof", "case", "else", "do"}


@dataclass
class Mutant:
    file: str  # relative to ROOT
    line: int  # 1-based
    op: str
    before: str  # the line, stripped
    after: str  # the mutated line, stripped
    new_line: str  # the mutated line as written
    nth: int = 1  # which of the file's lines with this text (1: the first)

    @property
    def key(self):
        return (self.file, self.before, self.after, self.nth)

    @property
    def ident(self):
        parts = [self.file, self.before, self.after] + ([str(self.nth)] if self.nth > 1 else [])
        return hashlib.sha1("\0".join(parts).encode()).hexdigest()[:8]


# ---- the catalogue ---------------------------------------------------------


def mask(line, in_comment):
    """The line with comments and string/char literals blanked (same length),
    and whether a block comment continues on the next line."""
    out = []
    i = 0
    n = len(line)
    while i < n:
        if in_comment:
            j = line.find("*/", i)
            if j < 0:
                out.append(" " * (n - i))
                return "".join(out), True
            out.append(" " * (j + 2 - i))
            i = j + 2
            in_comment = False
            continue
        c = line[i]
        if line.startswith("//", i):
            out.append(" " * (n - i))
            break
        if line.startswith("/*", i):
            in_comment = True
            continue
        if c in "\"'":
            j = i + 1
            while j < n and line[j] != c:
                j += 2 if line[j] == "\\" else 1
            out.append(c + "_" * (min(j, n) - i - 1) + (c if j < n else ""))
            i = j + 1
            continue
        out.append(c)
        i += 1
    return "".join(out), in_comment


def matching(code, start, open_ch="(", close_ch=")"):
    """Index of the bracket closing the one at start, or -1."""
    depth = 0
    for k in range(start, len(code)):
        if code[k] == open_ch:
            depth += 1
        elif code[k] == close_ch:
            depth -= 1
            if depth == 0:
                return k
    return -1


def split_args(code, lo, hi):
    """Top-level comma-separated spans of code[lo:hi]."""
    spans = []
    depth = 0
    start = lo
    for k in range(lo, hi):
        if code[k] in "([{":
            depth += 1
        elif code[k] in ")]}":
            depth -= 1
        elif code[k] == "," and depth == 0:
            spans.append((start, k))
            start = k + 1
    spans.append((start, hi))
    return spans


def trimmed(code, span):
    a, b = span
    while a < b and code[a].isspace():
        a += 1
    while b > a and code[b - 1].isspace():
        b -= 1
    return a, b


def kind_of(arg):
    """A rough type from Win32 naming, so that most swaps still compile."""
    a = re.sub(r"^\((?:const\s+)?[\w\s*]+\)\s*", "", arg)  # a cast
    if a.startswith(("L\"", "\"")) or re.match(r"^(c_sz|psz|sz)", a):
        return "string"
    if a.startswith("&") or re.match(r"^(p[A-Z]|lp|rg)", a):
        return "pointer"
    if a == "NULL" or re.match(r"^(g_)?h[a-z]*([A-Z]|$)|^HWND_", a):
        return "handle"
    return "number"


def line_mutants(line, code):
    """(operator, new line) for one line of source, code being its mask."""
    out = []
    stripped = code.strip()
    if not stripped or stripped.startswith("#include") or stripped.startswith("#if") or stripped.startswith("#endif"):
        return out
    is_define = stripped.startswith("#define")

    def sub(a, b, text):
        out_line = line[:a] + text + line[b:]
        return out_line

    if not is_define:
        # Relational boundaries and equality.
        for m in re.finditer(r"(?<![<>=!\-])(<=|>=|<|>|==|!=)(?![<>=])", code):
            op = m.group(1)
            if op in ("<", ">") and re.search(r"#\s*include", code):
                continue
            swap = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}[op]
            kind = "eq" if op in ("==", "!=") else "rel"
            out.append((kind, sub(m.start(), m.end(), swap)))
        # A negated condition.
        for m in re.finditer(r"\b(if|while)\s*\(", code):
            lo = m.end() - 1
            hi = matching(code, lo)
            if hi > 0:
                out.append(("neg", line[: lo + 1] + "!(" + line[lo + 1 : hi] + ")" + line[hi:]))
        # One term of a condition dropped.
        for m in re.finditer(r"\b(if|while|return)\b", code):
            lo = code.find("(", m.end()) if m.group(1) != "return" else m.end()
            if lo < 0:
                continue
            hi = matching(code, lo) if m.group(1) != "return" else code.rfind(";")
            if hi <= lo:
                continue
            inner = code[lo + 1 : hi] if m.group(1) != "return" else code[lo:hi]
            base = lo + 1 if m.group(1) != "return" else lo
            depth = 0
            cuts = []
            for k, c in enumerate(inner):
                if c in "([":
                    depth += 1
                elif c in ")]":
                    depth -= 1
                elif depth == 0 and inner.startswith(("||", "&&"), k):
                    cuts.append(k)
            if not cuts:
                continue
            bounds = [0] + [c + 2 for c in cuts]
            ends = cuts + [len(inner)]
            for s, e in zip(bounds, ends):
                # Remove the term with the operator that joins it.
                if e < len(inner):
                    a, b = base + s, base + e + 2
                else:
                    a, b = base + s - 2, base + e
                out.append(("term", line[:a] + line[b:]))
        # A deleted call or statement (not a declaration's "Type Name(...);").
        m = re.match(r"^(\s*)((\w+)\s*\(.*\)\s*;|delete(\[\])?\s+[\w>()*-]+\s*;|return\s*;|break\s*;)\s*$", code)
        if m and (m.group(3) is None or m.group(3) not in KEYWORDS):
            out.append(("del", m.group(1) + "{}"))
        # A swapped pair of arguments, in calls whose arguments are on the line.
        for m in re.finditer(r"\b([A-Za-z_]\w*)\s*\(", code):
            if m.group(1) in KEYWORDS:
                continue
            lo = m.end() - 1
            hi = matching(code, lo)
            if hi < 0:
                continue
            spans = [trimmed(code, s) for s in split_args(code, lo + 1, hi)]
            # A declaration's parameters ("HWND hwnd") are not arguments.
            if any(re.match(r"^[\w:]+[\s*&]+\w+$", code[a:b]) and not code[a:b].startswith(("return", "delete"))
                   for a, b in spans):
                continue
            for (a1, b1), (a2, b2) in zip(spans, spans[1:]):
                x, y = line[a1:b1], line[a2:b2]
                if x and y and x != y and kind_of(x) == kind_of(y):
                    out.append(("swap", line[:a1] + y + line[b1:a2] + x + line[b2:]))
        # A changed flag bit: one operand of an | dropped.
        for m in re.finditer(r"(?<![|])\|(?![|=])", code):
            left = re.search(r"([A-Za-z_]\w*|0x[0-9A-Fa-f]+)\s*$", code[: m.start()])
            right = re.match(r"\s*([A-Za-z_]\w*|0x[0-9A-Fa-f]+)", code[m.end() :])
            if left and right:
                out.append(("flag", line[: left.start()] + line[m.end() + right.start(1) : m.end() + right.end(1)] + line[m.end() + right.end(1) :]))
                out.append(("flag", line[: m.start()].rstrip() + line[m.end() + right.end(1) :]))
        # A neighbouring named constant.
        for m in re.finditer(r"\b[A-Z_][A-Z0-9_]*\b", code):
            if m.group(0) in NAME_SWAPS:
                out.append(("name", sub(m.start(), m.end(), NAME_SWAPS[m.group(0)])))
        # A string that no longer matches.
        for m in re.finditer(r'L?"(_*)"', code):
            if m.group(1):
                out.append(("string", sub(m.end() - 1, m.end() - 1, "x")))
    # Constants plus or minus one (also the values of #define).
    for m in re.finditer(r"(?<![\w.])(0x[0-9A-Fa-f]+|\d+)(?![\w.])", code):
        text = m.group(1)
        if is_define and m.start() < len(code) - len(code.lstrip()) + 8:
            continue
        value = int(text, 16) if text.startswith("0x") else int(text)
        for delta in (1, -1):
            v = value + delta
            if v < 0:
                continue
            rep = hex(v).upper().replace("0X", "0x") if text.startswith("0x") else str(v)
            out.append(("const", sub(m.start(), m.end(), rep)))
    return out


def catalogue(files):
    mutants = []
    seen = set()
    for path in files:
        rel = str(path.relative_to(ROOT))
        in_comment = False
        occurrences = {}
        for no, line in enumerate(path.read_text().splitlines(), 1):
            code, in_comment_next = mask(line, in_comment)
            nth = occurrences[line.strip()] = occurrences.get(line.strip(), 0) + 1
            if not in_comment:
                for op, new in line_mutants(line, code):
                    mu = Mutant(rel, no, op, line.strip(), new.strip(), new, nth)
                    if new != line and mu.key not in seen:
                        seen.add(mu.key)
                        mutants.append(mu)
            in_comment = in_comment_next
    return mutants


# ---- the equivalent list ---------------------------------------------------


def read_equivalent():
    """Keys of the mutants listed as equivalent: blocks of file, nth (which of
    the file's lines with the same text, when not the first), from, to, why."""
    keys = {}
    if not EQUIVALENT.exists():
        return keys
    block = {}
    for raw in EQUIVALENT.read_text().splitlines() + [""]:
        line = raw.rstrip()
        if line.startswith("#"):
            continue
        if not line.strip():
            if block:
                if not all(k in block for k in ("file", "from", "to", "why")):
                    sys.exit(f"{EQUIVALENT}: a block needs file, from, to and why: {block}")
                keys[(block["file"], block["from"], block["to"], int(block.get("nth", "1")))] = block["why"]
            block = {}
            continue
        m = re.match(r"^(file|nth|from|to|why):\s?(.*)$", line)
        if m:
            block[m.group(1)] = m.group(2).strip()
        elif "why" in block:
            block["why"] += " " + line.strip()
        else:
            sys.exit(f"{EQUIVALENT}: cannot read: {raw}")
    return keys


# ---- which tests reach which line ------------------------------------------


class Coverage:
    """The tests that reach each of vesk's lines, from one run of
    vesk_tests_cov, whose build of vesk notes the basic blocks each test (and
    each faulted run of the fault sweep) reaches. Kept beside the build and
    made again when the sources change."""

    # The soak repeats what the scenarios do, and the command-line tests run
    # vesk-sim, which this binary does not contain.
    FILTER = "-Soak.*:CliTest.*"
    SWEEP = "Scenarios/FaultSweep."
    # The most faulted runs a mutant gets.
    MAX_FAULTS = 60

    def __init__(self, build, env):
        self.build = build
        self.env = env
        self.binary = build / "tests" / "vesk_tests_cov"
        self.cache = build / "mutate-coverage.json"
        self.units = []  # (name, seconds)
        self.lines = {}  # (file, line) -> unit indices; an empty set: no unit reaches it

    @staticmethod
    def key():
        h = hashlib.sha1()
        for top in ("src", "tests", "sim", "tools", "cmake", "CMakeLists.txt", "scripts/mutate.py"):
            for p in sorted((ROOT / top).rglob("*")) if (ROOT / top).is_dir() else [ROOT / top]:
                if p.is_file() and "mutation" not in p.parts:
                    h.update(str(p.relative_to(ROOT)).encode() + b"\0" + p.read_bytes())
        return h.hexdigest()

    def load(self, jobs):
        key = self.key()
        if self.cache.exists():
            saved = json.loads(self.cache.read_text())
            if saved.get("key") == key:
                self.units = [tuple(u) for u in saved["units"]]
                self.lines = {(f, int(n)): set(u) for f, n, u in saved["lines"]}
                return
        t0 = time.monotonic()
        subprocess.run(["cmake", "--build", str(self.build), "--target", "vesk_tests_cov", "-j", jobs], check=True,
                       env=self.env, stdout=subprocess.DEVNULL)
        self.record(int(jobs))
        self.cache.write_text(json.dumps({"key": key, "units": self.units,
                                          "lines": [[f, n, sorted(u)] for (f, n), u in self.lines.items()]}))
        print(f"coverage: {len(self.units)} units reach {sum(1 for u in self.lines.values() if u)} of "
              f"{len(self.lines)} lines with code, in {time.monotonic() - t0:.0f} s", file=sys.stderr)

    def record(self, shards):
        outs = [self.build / f"mutate-coverage.{i}" for i in range(shards)]
        procs = []
        for i, out in enumerate(outs):
            env = dict(self.env, VESK_COVERAGE_OUT=str(out), GTEST_TOTAL_SHARDS=str(shards), GTEST_SHARD_INDEX=str(i))
            procs.append(subprocess.Popen([str(self.binary), f"--gtest_filter={self.FILTER}", "--gtest_brief=1"],
                                          env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                                          errors="replace"))
        for p in procs:
            log = p.communicate()[0]
            if p.returncode != 0:
                sys.exit(f"{self.binary} fails with vesk's lines recorded:\n{log[-3000:]}")
        block_lines = self.blocks()
        index = {}
        reached = {}
        for out in outs:
            for row in out.read_text().splitlines():
                name, us, *pcs = row.split("\t")
                if name not in index:
                    index[name] = len(self.units)
                    self.units.append((name, 0.0))
                u = index[name]
                self.units[u] = (name, self.units[u][1] + int(us) / 1e6)
                for pc in pcs:
                    for where in block_lines.get(int(pc, 16), ()):
                        reached.setdefault(where, set()).add(u)
            out.unlink()
        self.lines = {where: reached.get(where, set()) for lines in block_lines.values() for where in lines}

    def blocks(self):
        """Block offset -> the (file, line)s of its instructions, from the
        disassembly of vesk's code in the binary."""
        image = self.build / "src" / "vesk_cov_image.o"

        def symbols(path):
            out = subprocess.run(["nm", "--defined-only", str(path)], check=True, stdout=subprocess.PIPE,
                                 text=True).stdout
            return {f[2]: int(f[0], 16) for f in (l.split() for l in out.splitlines()) if len(f) == 3 and f[1] == "T"}

        mine, theirs = symbols(image), symbols(self.binary)
        anchor = next(n for n in sorted(mine) if n in theirs)
        # "  [ 5] .text  PROGBITS  0000000000000000 00006c 003e05 00  AX  0   0  2": address, offset, size
        sections = subprocess.run(["readelf", "-SW", str(image)], check=True, stdout=subprocess.PIPE, text=True).stdout
        size = int(re.search(r"\]\s+\.text\s+\S+\s+\S+\s+\S+\s+([0-9a-f]+)", sections).group(1), 16)
        start = theirs[anchor] - mine[anchor]
        dump = subprocess.run(["objdump", "-d", "-l", "--no-show-raw-insn", f"--start-address={start:#x}",
                               f"--stop-address={start + size:#x}", str(self.binary)], check=True,
                              stdout=subprocess.PIPE, text=True, errors="replace").stdout
        blocks = {}
        block = None
        where = None
        opening = None  # the line of the call that opens the next block
        for row in dump.splitlines():
            m = re.match(r"^(/\S+):(\d+)", row)
            if m:
                path = Path(m.group(1))
                where = (str(path.relative_to(ROOT)), int(m.group(2))) if path.is_relative_to(ROOT) else None
                continue
            if re.match(r"^[0-9a-f]+ <", row):
                block = opening = None
                continue
            m = re.match(r"^\s+([0-9a-f]+):\s", row)
            if not m:
                continue
            if "<__sanitizer_cov_trace_pc>" in row:
                opening = where or ("", 0)
                continue
            if opening is not None:
                block = int(m.group(1), 16)
                blocks[block] = {opening} if opening[0] else set()
                opening = None
            if block is not None and where:
                blocks[block].add(where)
        return blocks

    def select(self, mu):
        """None when no instruction comes from the mutant's line; otherwise the
        tests that reach it, as (gtest filter, faulted runs as "test\tfault"
        lines, their seconds), the filter empty when nothing reaches it."""
        units = self.lines.get((mu.file, mu.line))
        if units is None:
            return None
        tests, faults, seconds = set(), {}, 0.0
        for u in sorted(units):
            name, secs = self.units[u]
            test, _, fault = name.partition("@")
            if fault:
                faults[f"{test}\t{fault}"] = secs
            else:
                tests.add(test)
                seconds += secs
        # A line that every faulted run reaches (the message loop, the
        # window walk) gets a spread of them: in turn one of each failing
        # call, then the next of each, over the scenarios.
        if len(faults) > self.MAX_FAULTS:
            by_call = {}
            for f in faults:
                by_call.setdefault(f.split("\t")[1].split(" #")[0], []).append(f)
            spread = [f for row in itertools.zip_longest(*by_call.values()) for f in row if f]
            faults = {f: faults[f] for f in spread[: self.MAX_FAULTS]}
        tests.update(f.split("\t")[0] for f in faults)
        return ":".join(sorted(tests)), sorted(faults), seconds + sum(faults.values())


def read_survivors():
    """Ids of the known survivors: the first word of each line."""
    if not SURVIVORS.exists():
        return set()
    return {l.split()[0] for l in SURVIVORS.read_text().splitlines() if l.strip() and not l.startswith("#")}


# ---- building and running --------------------------------------------------


class Runner:
    def __init__(self, build, timeout, test_filter):
        self.build = build
        self.timeout = timeout
        self.filter = test_filter
        self.binary = build / "tests" / "vesk_tests"
        self.backup = build / "mutate-backup.json"
        self.memcheck_ok = shutil.which("valgrind") is not None and os.environ.get("VESK_MUTATE_MEMCHECK") != "0"

    def env(self):
        env = dict(os.environ)
        if shutil.which("ccache"):
            env.setdefault("CCACHE_BASEDIR", str(ROOT.parent))
            env.setdefault("CCACHE_NOHASHDIR", "1")
        return env

    def configure(self):
        if (self.build / "CMakeCache.txt").exists():
            return
        args = ["cmake", "-S", str(ROOT), "-B", str(self.build), "-DCMAKE_BUILD_TYPE=RelWithDebInfo",
                "-DVESK_BUILD_BENCH=OFF", "-G", "Unix Makefiles"]
        if shutil.which("ccache"):
            args += ["-DCMAKE_C_COMPILER_LAUNCHER=ccache", "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"]
        subprocess.run(args, check=True, env=self.env(), stdout=subprocess.DEVNULL)

    def build_all(self):
        jobs = os.environ.get("VESK_MUTATE_JOBS", "2")
        # Twice: the Makefile generator gathers the compiler's lists of the
        # headers each object includes only at the start of a build, so after
        # a first build the fast targets below would not see a changed header
        # (every mutant of src/vesk.h would survive unbuilt). The second
        # build compiles nothing.
        for _ in range(2):
            subprocess.run(["cmake", "--build", str(self.build), "--target", "vesk_tests", "-j", jobs], check=True,
                           env=self.env(), stdout=subprocess.DEVNULL)

    def build_incremental(self):
        # Only vesk's objects, its library and the test binary, in that
        # order and without checking the rest, which a mutant cannot change.
        targets = [t for t in ("vesk_objects", "vesk") if (self.build / "src" / "CMakeFiles" / f"{t}.dir").is_dir()]
        r = subprocess.run(["make", "-s", "-C", str(self.build)] + [f"{t}/fast" for t in targets + ["vesk_tests"]],
                           env=self.env(), stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
        return r.returncode == 0

    def test_env(self, faults):
        """The environment of a test run; FAULTS, when given, are the only
        faulted runs the fault sweep makes."""
        env = dict(os.environ)
        if faults is not None:
            only = self.build / "mutate-faults.txt"
            only.write_text("".join(f + "\n" for f in faults))
            env["VESK_FAULT_SWEEP_ONLY"] = str(only)
        return env

    def run_tests(self, test_filter=None, faults=None, timeout=None):
        """'pass', or 'killed by TEST', 'timeout', 'crashed (signal N)'.
        FAULTS: the fault sweep's faulted runs to make, as "test\tfault" lines."""
        env = self.test_env(faults)
        # A long choice runs in as many shards as there are jobs, at once;
        # the first shard to fail decides.
        shards = int(os.environ.get("VESK_MUTATE_JOBS", "2")) if faults and len(faults) > 50 else 1
        args = [str(self.binary), f"--gtest_filter={test_filter or self.filter}", "--gtest_fail_fast", "--gtest_brief=1"]
        procs = [subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace",
                                  start_new_session=True,
                                  env=dict(env, GTEST_TOTAL_SHARDS=str(shards), GTEST_SHARD_INDEX=str(i)))
                 for i in range(shards)]
        deadline = time.monotonic() + (timeout or self.timeout)
        r = None
        try:
            while procs:
                for p in procs:
                    try:
                        out = p.communicate(timeout=0.05)[0]
                    except subprocess.TimeoutExpired:
                        continue
                    procs.remove(p)
                    if r is None or r.returncode == 0:
                        r = subprocess.CompletedProcess(args, p.returncode, out)
                    if p.returncode != 0:
                        return self.verdict(r)
                    break
                if time.monotonic() > deadline:
                    return "timeout"
        finally:
            for p in procs:
                os.killpg(p.pid, signal.SIGKILL)
                p.wait()
        return self.verdict(r)

    MEMCHECK_ERROR = re.compile(r"^==\d+== (Conditional jump|Use of uninitialised|Syscall param|Invalid (read|write|free))")

    def memcheck(self, test_filter, faults, timeout):
        """'pass', or 'killed by memcheck (WHAT) in TEST'. Only memcheck's own
        errors count: a test whose result differs under valgrind's allocator
        is no kill, and a run that takes too long is a pass."""
        env = self.test_env(faults)
        # The simulator's operator new is kept, as scripts/memcheck.sh keeps it.
        args = ["valgrind", "--tool=memcheck", "--error-exitcode=99", "--leak-check=no", "--num-callers=16",
                "--track-origins=yes", "--soname-synonyms=somalloc=nouserintercepts", f"--fullpath-after={ROOT}/",
                str(self.binary), f"--gtest_filter={test_filter}", "--gtest_brief=0"]
        try:
            out = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, errors="replace",
                                 env=env, timeout=timeout).stdout
        except subprocess.TimeoutExpired:
            return "pass"
        # An error counts when vesk's code is on its stack or made the
        # memory it is about: the simulator's and the tests' own reads of
        # garbage (a test of a fresh heap block reads some) are not the
        # mutant's.
        test, what, block = "?", None, []
        for line in out.splitlines() + ["==0== "]:
            m = re.match(r"^\[ RUN      \] ([\w/.]+)", line)
            if m:
                test = m.group(1)
            if what is not None:
                if re.match(r"^==\d+== ?$", line):
                    if any(" src/" in b or "(src/" in b for b in block):
                        return f"killed by memcheck ({what}) in {test}"
                    what, block = None, []
                else:
                    block.append(line)
                continue
            m = self.MEMCHECK_ERROR.match(line)
            if m:
                what, block = m.group(1).lower(), []
        return "pass"

    @staticmethod
    def verdict(r):
        if r.returncode == 0:
            return "pass"
        failed = re.findall(r"^\[  FAILED  \] ([\w/.]+)", r.stdout, re.M)
        if failed:
            return "killed by " + failed[0]
        running = re.findall(r"^\[ RUN      \] ([\w/.]+)", r.stdout, re.M)
        where = f" in {running[-1]}" if running else ""
        if r.returncode < 0:
            return f"crashed (signal {-r.returncode}){where}"
        return f"failed (exit {r.returncode}){where}"

    def restore_leftover(self):
        if self.backup.exists():
            saved = json.loads(self.backup.read_text())
            Path(saved["path"]).write_text(saved["text"])
            self.backup.unlink()
            print(f"restored {saved['path']} from an interrupted run", file=sys.stderr)

    def try_mutant(self, mu, coverage=None):
        # The tests that reach the line, with the faulted runs that do; all
        # the fast suites where no code comes from it (a declaration, a
        # macro, a constant's initialiser).
        chosen = coverage.select(mu) if coverage else None
        if chosen and not chosen[0]:
            return "pass (reached by no test)"
        path = ROOT / mu.file
        original = path.read_text()
        lines = original.split("\n")
        assert lines[mu.line - 1].strip() == mu.before
        lines[mu.line - 1] = mu.new_line
        self.backup.write_text(json.dumps({"path": str(path), "text": original}))
        try:
            path.write_text("\n".join(lines))
            before = self.binary.stat().st_mtime_ns
            if not self.build_incremental():
                return "does not compile"
            # A test binary that was not relinked would test the sources as
            # they were: its result would say nothing about the mutant.
            if self.binary.stat().st_mtime_ns == before:
                return "not rebuilt"
            if chosen:
                result = self.run_tests(chosen[0], chosen[1], max(30.0, 5 * chosen[2]))
            else:
                result = self.run_tests()
            # A mutant that leaves memory unwritten may pass on whatever
            # the stack or heap happened to hold: the same tests once more
            # under memcheck, which sees the read itself.
            if result == "pass" and self.memcheck_ok:
                if chosen:
                    result = self.memcheck(chosen[0], chosen[1], max(300.0, 40 * chosen[2]))
                else:
                    result = self.memcheck(self.filter, None, 40 * self.timeout)
            return result
        finally:
            path.write_text(original)
            self.backup.unlink()


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--sample", type=int, help="run N mutants drawn at random")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--only", action="append", default=[], help="a mutant's id (repeatable)")
    ap.add_argument("--file", action="append", default=[], help="only mutants of this source file")
    ap.add_argument("--grep", help="only mutants whose line contains this text")
    ap.add_argument("--op", action="append", default=[], help="only this operator: rel eq neg term del swap flag name string const")
    ap.add_argument("--list", action="store_true", help="print the catalogue and stop")
    ap.add_argument("--build", default=str(ROOT / "build" / "mutation"))
    ap.add_argument("--timeout", type=float, help="seconds a mutant's tests may take (default: 5x the clean run, 30 at least)")
    ap.add_argument("--out", help="also write the table to this file (Markdown)")
    ap.add_argument("--filter", default=FAST_FILTER,
                    help="the suites to run where no test is chosen by the line it reaches, as a --gtest_filter "
                         "(default: the fast suites); '*' for all")
    ap.add_argument("--no-coverage", action="store_true",
                    help="run the --filter suites for every mutant, not the tests that reach its line")
    ap.add_argument("--guard", type=int, metavar="N",
                    help="CI's check: N mutants that equivalent.txt does not list, drawn with the commit as the "
                         "seed (VESK_MUTATION_SEED overrides it); fails on any that survives and is not listed in "
                         "tests/mutation/survivors.txt")
    ap.add_argument("--resume", metavar="LOG", help="take the results of the mutants that an earlier run's "
                    "progress log (its standard error) reports, and run the rest")
    ap.add_argument("--shard", metavar="K/N", help="only every Nth mutant of the catalogue, from the Kth (0-based): "
                    "for N runs in N clones at once")
    args = ap.parse_args()

    files = sorted(p for p in SRC.rglob("*") if p.suffix in (".cpp", ".h"))
    mutants = catalogue(files)
    if args.file:
        wanted = {str((ROOT / f).resolve().relative_to(ROOT)) for f in args.file}
        mutants = [m for m in mutants if m.file in wanted]
    if args.grep:
        mutants = [m for m in mutants if args.grep in m.before]
    if args.op:
        mutants = [m for m in mutants if m.op in args.op]
    if args.only:
        mutants = [m for m in mutants if m.ident in args.only]
        missing = set(args.only) - {m.ident for m in mutants}
        if missing:
            sys.exit("no such mutant: " + " ".join(sorted(missing)))
    if args.shard:
        k, n = (int(x) for x in args.shard.split("/"))
        mutants = mutants[k::n]
    equivalent = read_equivalent()
    if args.guard:
        seed = os.environ.get("VESK_MUTATION_SEED") or subprocess.run(
            ["git", "-C", str(ROOT), "rev-parse", "HEAD"], stdout=subprocess.PIPE, text=True).stdout.strip() or "0"
        print(f"mutation: {args.guard} mutants drawn with the seed {seed}", file=sys.stderr)
        mutants = [m for m in mutants if m.key not in equivalent]
        args.sample, args.seed = args.guard, int(hashlib.sha1(seed.encode()).hexdigest()[:12], 16)
    if args.sample and args.sample < len(mutants):
        mutants = sorted(random.Random(args.seed).sample(mutants, args.sample), key=lambda m: (m.file, m.line))
    if args.list:
        for mu in mutants:
            eq = "  [equivalent]" if mu.key in equivalent else ""
            nth = f" (#{mu.nth})" if mu.nth > 1 else ""
            print(f"{mu.ident} {mu.file}:{mu.line}{nth} {mu.op}: {mu.before}  =>  {mu.after}{eq}")
        print(f"{len(mutants)} mutants")
        return 0

    runner = Runner(Path(args.build), args.timeout, args.filter)
    runner.restore_leftover()
    # Ctrl-C and a polite kill both unwind through the restoring finally.
    signal.signal(signal.SIGTERM, lambda *_: (_ for _ in ()).throw(KeyboardInterrupt()))
    runner.configure()
    runner.build_all()
    coverage = None
    if args.no_coverage:
        start = time.monotonic()
        clean = runner.run_tests(timeout=3600)  # no limit is known before the clean run
        if clean != "pass":
            sys.exit(f"the unmutated sources fail the fast suites: {clean}")
        fast_seconds = time.monotonic() - start
    else:
        # Recording runs every test once, and fails unless all pass.
        coverage = Coverage(runner.build, runner.env())
        coverage.load(os.environ.get("VESK_MUTATE_JOBS", "2"))
        fast_seconds = sum(t for n, t in coverage.units if not n.startswith(Coverage.SWEEP))
    if runner.timeout is None:
        runner.timeout = max(30.0, 5 * fast_seconds)

    done = {}
    if args.resume and Path(args.resume).exists():
        for row in Path(args.resume).read_text().splitlines():
            m = re.match(r"^\[\d+/\d+\] (\w{8}) \S+ \w+: (.*?)(?: \([\d.]+ s\))?$", row)
            if m:
                done[m.group(1)] = m.group(2)
    rows = []
    interrupted = False
    t0 = time.monotonic()
    try:
        for i, mu in enumerate(mutants, 1):
            began = time.monotonic()
            if mu.key in equivalent:
                result = "equivalent"
            elif mu.ident in done:
                result = done[mu.ident]
            else:
                result = runner.try_mutant(mu, coverage)
                if result.startswith("pass"):
                    result = "SURVIVED" + result[4:]
            rows.append((mu, result))
            print(f"[{i}/{len(mutants)}] {mu.ident} {mu.file}:{mu.line} {mu.op}: {result} "
                  f"({time.monotonic() - began:.1f} s)", file=sys.stderr, flush=True)
    except KeyboardInterrupt:
        interrupted = True
        print("interrupted: the sources are as they were", file=sys.stderr)
    finally:
        # The build directory is left matching the restored sources.
        if rows:
            runner.build_incremental()

    def cell(text):
        return text.replace("|", "\\|").replace("`", "'")

    table = ["| id | where | operator | change | result |", "|---|---|---|---|---|"]
    for mu, result in rows:
        table.append(f"| {mu.ident} | {mu.file}:{mu.line} | {mu.op} | `{cell(mu.before)}` → `{cell(mu.after)}` | {result} |")
    scored = [r for _, r in rows if r not in ("equivalent", "does not compile", "not rebuilt")]
    killed = [r for r in scored if not r.startswith("SURVIVED")]
    eq_count = sum(1 for _, r in rows if r == "equivalent")
    stillborn = sum(1 for _, r in rows if r == "does not compile")
    unbuilt = sum(1 for _, r in rows if r == "not rebuilt")
    score = f"{100.0 * len(killed) / len(scored):.1f}%" if scored else "n/a"
    summary = (f"mutants: {len(rows)} run, {len(killed)} killed, {len(scored) - len(killed)} survived, "
               f"{eq_count} equivalent, {stillborn} do not compile"
               + (f", {unbuilt} NOT REBUILT (the build missed them)" if unbuilt else "")
               + f"; score {len(killed)}/{len(scored)} = {score} "
               f"over the non-equivalent ones; {time.monotonic() - t0:.0f} s")
    print("\n".join(table))
    print()
    print(summary)
    if args.guard:
        known = read_survivors()
        listed = [mu for mu, r in rows if r.startswith("SURVIVED") and mu.ident in known]
        new = [mu for mu, r in rows if r.startswith("SURVIVED") and mu.ident not in known]
        for mu in listed:
            print(f"known survivor {mu.ident} ({mu.file}:{mu.line}), listed in {SURVIVORS.relative_to(ROOT)}")
        for mu in new:
            print(f"NEW SURVIVOR {mu.ident} ({mu.file}:{mu.line}): {mu.before}  =>  {mu.after}")
        print(f"mutation: {len(killed)} passed, {len(new) + unbuilt} failed, {stillborn + len(listed)} skipped")
        return 1 if new or unbuilt or interrupted else 0
    if args.out:
        Path(args.out).write_text("\n".join(table) + "\n\n" + summary + "\n")
    if interrupted:
        return 130
    return 1 if len(killed) < len(scored) or unbuilt else 0


if __name__ == "__main__":
    sys.exit(main())
