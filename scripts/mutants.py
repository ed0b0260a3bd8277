#!/usr/bin/env python3
"""Seeded faults (mutants) in the GL-free algorithms, and which tests catch them.

A frozen list of mutants, scripts/mutants.tsv, holds single-token changes in
the library's GL-free sources: a comparison operator (< <= > >= == !=), an
arithmetic operator (+ - * / and their compound assignments) or a numeric
constant (0 -> 1, 1 -> 0 or 2, c -> c+1, c-1, 2c, c/2). For each mutant the run
applies it, rebuilds the one object file and the test program that holds every
GL-free test (CMake option LINFOLD_TEST_BUNDLE, target test_glfree_bundle),
runs the tests and records which of them failed: the kill matrix. A mutant is
"caught" when a test fails, crashes or hangs, "survived" when every test
passes (a fault the suite misses, or an equivalent mutant: only the tests can
tell them apart), "invalid" when it does not compile, and "unplaced" when its
line is no longer in the source.

    scripts/mutants.py generate [--seed 15] [--quota mesh=60,...]
        Rewrite scripts/mutants.tsv from the current sources (only to start a
        new baseline: the ids of the old list then mean nothing).
    scripts/mutants.py list [--tree DIR] [--quiet]      (also: run --dry-run)
        Place every mutant in the tree and print it with the mutated line; a
        self-check that needs no build. Exits 1 when a mutant cannot be placed.
    scripts/mutants.py reanchor
        Rewrite the list's line numbers and columns for the current sources.
    scripts/mutants.py run [--workdir DIR] [--rev REV] [--only M001,M002]
                           [--limit N] [--jobs 2] [--nice 10] [--test-timeout 30]
        Run (or resume) the mutants. The first run copies the working tree (or
        REV, through git archive) into DIR/tree, builds it in DIR/tree/build
        and runs the tests twice unchanged: tests that fail there are left out.
        Every finished mutant is appended to DIR/results.tsv at once, so a run
        stopped with Ctrl+C (the source is restored first) or killed goes on
        where it stopped when started again with the same DIR; a new list or a
        new tree needs a new DIR. The sources you work on are never touched.
        A test that runs longer than --test-timeout seconds (and ten times its
        unchanged time) counts as hung: it is killed, caught, and the tests
        after it run on; so do they after a crash.
    scripts/mutants.py report [--workdir DIR]
        Write DIR/kill-matrix.tsv and DIR/summary.txt (run does this too).
    scripts/mutants.py compare OLD NEW
        OLD and NEW are kill matrices (or run folders). Lists every mutant the
        old suite caught and the new one does not (survived, invalid, unplaced
        or not run yet); exits 1 if there is one.

Old suite against new suite:

    scripts/mutants.py run --workdir build-mutants-old --rev <before trimming>
    scripts/mutants.py run --workdir build-mutants-new
    scripts/mutants.py compare build-mutants-old build-mutants-new

Where the product code changed between the two, lines that changed leave
their mutants unplaced, and a fault in rewritten code is no longer the same
fault: compare the suites over the same product code where you can.

Cost on the shared two-core machine: the first build of a run folder takes
about 13 minutes (90 s when ccache has the objects, e.g. from an earlier run
folder: the build sits at DIR/tree/build, so paths match); then a mutant costs
one compile, one link and one run of the 400 GL-free tests, 20-25 s when the
machine is quiet and about 45 s under the load of other builds.

Placing a mutant: each row keeps the text of its line and a hash of the lines
around it. The mutant goes to the line whose text, without white space, is
the same (the one with the same neighbours, then the one nearest the recorded
line number), and to the n-th token there equal to the original token. Edits
elsewhere in a file, and reformatting within a line, therefore keep mutants
in place; a changed or re-wrapped line leaves its mutant unplaced, and
compare lists those apart.

What is skipped when generating: comments, strings, preprocessor lines,
template argument lists, case labels, assert/static_assert and SO_*/LINFOLD_*
macro arguments, lines of constant tables, headers (a header change rebuilds
half the library) and every source file that calls OpenGL itself. Python 3
standard library only.
"""
import argparse
import bisect
import collections
import hashlib
import os
import random
import re
import select
import shutil
import signal
import subprocess
import sys
import time
import xml.etree.ElementTree as ET

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LIST = os.path.join(ROOT, "scripts", "mutants.tsv")
BUNDLE = "test_glfree_bundle"

# Folders of GL-free algorithms and how many mutants each gets.
AREAS = collections.OrderedDict([
    ("mesh", ("src/base/mesh", 60)),
    ("curvature", ("src/base/curvature", 30)),
    ("flowfield", ("src/base/flowfield", 35)),
    ("strokes", ("src/base/strokes", 40)),
    ("styling", ("src/base/styling", 40)),
    ("output", ("src/base/output", 45)),
    ("lines", ("src/base/lines", 20)),
    ("pdf", ("src/pdf", 10)),
])
# A source file that calls OpenGL (or includes its header) is left out whole.
GL_USE = re.compile(r"\bglu?[A-Z]\w*\s*\(|GL/glu?\.h|Inventor/system/gl\.h|QOpenGL")

FIELDS = ["id", "area", "file", "line", "col", "nth", "kind", "original", "replacement",
          "context", "text"]
Mutant = collections.namedtuple("Mutant", FIELDS)

# ---------------------------------------------------------------- C++ tokens

Token = collections.namedtuple("Token", "kind text start end")  # kind: id num op str chr

OPERATORS = sorted([">>=", "<<=", "<=>", "->*", "...", "->", "++", "--", "<<", ">>", "<=", ">=",
                    "==", "!=", "&&", "||", "+=", "-=", "*=", "/=", "%=", "&=", "|=", "^=", "::",
                    ".*"], key=len, reverse=True)
RAW_PREFIXES = {"R", "u8R", "uR", "UR", "LR"}


def lex(text):
    """Tokens of C++ source; comments and preprocessor lines are dropped."""
    toks = []
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if c == "\n":
            line_start = True
            i += 1
            continue
        if c in " \t\r\f\v":
            i += 1
            continue
        if c == "#" and line_start:
            while i < n and text[i] != "\n":
                i += 2 if text.startswith("\\\n", i) else 1
            continue
        line_start = False
        if text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
            continue
        if text.startswith("/*", i):
            j = text.find("*/", i + 2)
            i = n if j < 0 else j + 2
            continue
        if c.isalpha() or c == "_":
            j = i + 1
            while j < n and (text[j].isalnum() or text[j] == "_"):
                j += 1
            if j < n and text[j] == '"' and text[i:j] in RAW_PREFIXES:
                k = text.find("(", j)
                k = n if k < 0 else k
                close = ")" + text[j + 1:k] + '"'
                e = text.find(close, k)
                e = n if e < 0 else e + len(close)
                toks.append(Token("str", text[i:e], i, e))
                i = e
                continue
            toks.append(Token("id", text[i:j], i, j))
            i = j
            continue
        if c.isdigit() or (c == "." and i + 1 < n and text[i + 1].isdigit()):
            j = i + 1
            while j < n:
                d = text[j]
                if d in "eEpP" and j + 1 < n and text[j + 1] in "+-":
                    j += 2
                elif d.isalnum() or d in "._":
                    j += 1
                elif d == "'" and j + 1 < n and text[j + 1].isalnum():
                    j += 1
                else:
                    break
            toks.append(Token("num", text[i:j], i, j))
            i = j
            continue
        if c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            toks.append(Token("str" if c == '"' else "chr", text[i:j], i, j))
            i = j
            continue
        for op in OPERATORS:
            if text.startswith(op, i):
                break
        else:
            op = c
        toks.append(Token("op", op, i, i + len(op)))
        i += len(op)
    return toks


# ---------------------------------------------------------------- mutation sites

KEYWORDS = {"return", "case", "throw", "else", "do", "new", "delete", "sizeof", "typename",
            "template", "const", "constexpr", "static", "operator", "co_return", "co_yield",
            "goto", "using", "namespace", "struct", "class", "enum", "public", "private",
            "protected", "virtual", "inline", "explicit", "volatile", "mutable", "if", "while",
            "for", "switch", "alignof", "decltype", "typedef", "extern"}
BUILTIN_TYPES = {"int", "float", "double", "char", "bool", "void", "auto", "long", "short",
                 "unsigned", "signed", "wchar_t"}
KNOWN_TEMPLATES = {"static_cast", "dynamic_cast", "reinterpret_cast", "const_cast", "vector",
                   "array", "map", "set", "pair", "tuple", "unique_ptr", "shared_ptr", "function",
                   "numeric_limits", "optional", "unordered_map", "unordered_set", "deque", "list",
                   "initializer_list", "lock_guard", "make_unique", "make_shared", "basic_string",
                   "is_same", "enable_if", "SbList", "SbMatrixT"}
# Arguments that are not run (assert in Release) or declare rather than compute.
SKIP_CALLS = re.compile(r"^(assert|static_assert|alignas|SO_[A-Z0-9_]+|LINFOLD_[A-Z0-9_]+)$")
# Tokens that end a template argument list search: a '<' seen before them compares.
NOT_IN_TEMPLATE = {";", "{", "}", "&&", "||", "?", "==", "!=", "=", "+", "-", "/", "%", ".",
                   "->", "+=", "-=", "*=", "/=", "<=", ">=", "<<", "!", "|", "^"}

CMP_ALTERNATIVES = {"<": ["<=", ">"], "<=": ["<", ">"], ">": [">=", "<"], ">=": [">", "<"],
                    "==": ["!="], "!=": ["=="]}
ARITH_ALTERNATIVES = {"+": ["-"], "-": ["+"], "*": ["/"], "/": ["*"],
                      "+=": ["-="], "-=": ["+="], "*=": ["/="], "/=": ["*="]}


def is_value_end(t):
    """True when t can end an operand, so that a following + - * / < > is binary."""
    if t.kind == "num":
        return True
    if t.kind == "op":
        return t.text in (")", "]")
    return t.kind == "id" and t.text not in KEYWORDS and t.text not in BUILTIN_TYPES


def looks_like_type(name):
    """Names that more likely name a type than a value: SbVec3f, size_t, T."""
    if name in BUILTIN_TYPES or name.endswith("_t"):
        return True
    if re.match(r"^k[A-Z0-9]", name):  # kConstant
        return False
    return name[0].isupper() and any(ch.islower() for ch in name)


def condition_ends(toks):
    """Indices of the ')' that close an if/while/for/switch head: what follows
    them starts a statement (if (p) *p = 0), so no operator there is binary."""
    ends, stack = set(), []
    for i, t in enumerate(toks):
        if t.text == "(":
            stack.append(i)
        elif t.text == ")" and stack:
            j = stack.pop()
            if j > 0 and toks[j - 1].text in ("if", "while", "for", "switch", "catch"):
                ends.add(i)
    return ends


def template_brackets(toks):
    """Indices of '<' and '>'/'>>' tokens that bracket template arguments, and the
    index ranges of those argument lists."""
    marked, ranges = set(), []
    for i, t in enumerate(toks):
        if t.text != "<" or i == 0 or i in marked:
            continue
        prev = toks[i - 1]
        if prev.kind != "id" or (prev.text in KEYWORDS and prev.text != "template"):
            continue
        depth, paren, j = 1, 0, i + 1
        inner = []
        while j < len(toks) and j < i + 60:
            u = toks[j].text
            if toks[j].kind in ("str", "chr") or u in NOT_IN_TEMPLATE:
                break
            if u == "(":
                paren += 1
            elif u == ")":
                paren -= 1
                if paren < 0:
                    break
            elif u == "<":
                depth += 1
                inner.append(j)
            elif u in (">", ">>"):
                depth -= 1 if u == ">" else 2
                inner.append(j)
                if depth <= 0:
                    marked.update([i] + inner)
                    ranges.append((i, j))
                    break
            j += 1
        if i not in marked and prev.text in KNOWN_TEMPLATES | {"template"}:
            marked.add(i)
    return marked, ranges


def skipped_calls(toks):
    """Indices of tokens inside the parentheses of SKIP_CALLS."""
    skip = set()
    for i, t in enumerate(toks):
        if t.kind == "id" and SKIP_CALLS.match(t.text) and i + 1 < len(toks) \
                and toks[i + 1].text == "(":
            depth, j = 0, i + 1
            while j < len(toks):
                if toks[j].text == "(":
                    depth += 1
                elif toks[j].text == ")":
                    depth -= 1
                    if depth == 0:
                        break
                skip.add(j)
                j += 1
    return skip


def parse_number(text):
    """(value, kind, suffix) of a literal, kind 'int' or 'float'; None if odd."""
    t = text.replace("'", "")
    m = re.fullmatch(r"(0[xX][0-9a-fA-F]+|[1-9][0-9]*|0)([uUlL]*)", t)
    if m:
        return int(m.group(1), 0), "int", m.group(2)
    m = re.fullmatch(r"((?:[0-9]+\.[0-9]*|\.[0-9]+|[0-9]+)(?:[eE][+-]?[0-9]+)?)([fFlL]?)", t)
    if m and ("." in m.group(1) or "e" in m.group(1).lower()):
        return float(m.group(1)), "float", m.group(2)
    return None


def format_number(value, kind, suffix, original):
    if kind == "int":
        if original.lower().startswith("0x"):
            return hex(value) + suffix
        return str(value) + suffix
    return repr(float(value)) + suffix


def constant_alternatives(text):
    parsed = parse_number(text)
    if parsed is None:
        return []
    value, kind, suffix = parsed
    if value == 0:
        values = [1]
    elif value == 1:
        values = [0, 2]
    elif kind == "int":
        # A 64-bit hash constant doubled no longer fits any type.
        values = [v for v in (value + 1, value - 1, value * 2) if v < 2 ** 63]
    elif abs(value) < 1e6:
        values = [value + 1, value * 2, value / 2]
    else:  # c + 1 would round back to c
        values = [value * 2, value / 2]
    return [format_number(v, kind, suffix, text) for v in values]


def line_starts(text):
    starts = [0]
    for m in re.finditer("\n", text):
        starts.append(m.end())
    return starts


def sites(text):
    """Mutation sites of one source file: (kind, token, alternatives)."""
    toks = lex(text)
    starts = line_starts(text)
    line_of = [bisect.bisect_right(starts, t.start) - 1 for t in toks]
    marked, ranges = template_brackets(toks)
    in_template = set()
    for a, b in ranges:
        in_template.update(range(a, b + 1))
    skip = skipped_calls(toks)
    statement_starts = condition_ends(toks)
    # Lines of constant tables and lines that build strings.
    per_line = collections.defaultdict(list)
    for i, t in enumerate(toks):
        per_line[line_of[i]].append(t)
    table_lines, string_lines = set(), set()
    for ln, ts in per_line.items():
        nums = sum(1 for t in ts if t.kind == "num")
        data = sum(1 for t in ts if t.kind == "num" or t.text in ",{}-;")
        if nums >= 6 and data >= 0.8 * len(ts):
            table_lines.add(ln)
        if any(t.kind in ("str", "chr") for t in ts):
            string_lines.add(ln)
    found = []
    for i, t in enumerate(toks):
        if i in skip or i in in_template or i == 0:
            continue
        prev = toks[i - 1]
        nxt = toks[i + 1] if i + 1 < len(toks) else Token("op", ";", 0, 0)
        if prev.text == "operator":
            continue
        after_value = is_value_end(prev) and i - 1 not in statement_starts
        if t.kind == "op" and t.text in CMP_ALTERNATIVES:
            if i in marked or not after_value:
                continue
            found.append(("cmp", t, CMP_ALTERNATIVES[t.text]))
        elif t.kind == "op" and t.text in ARITH_ALTERNATIVES:
            if line_of[i] in string_lines and t.text in ("+", "+=", "-="):
                continue
            if t.text.endswith("="):
                found.append(("arith", t, ARITH_ALTERNATIVES[t.text]))
                continue
            if not after_value:
                continue
            if t.text == "*" and (prev.kind == "id" and looks_like_type(prev.text)
                                  or nxt.text in (")", ",", ">", "&", "*", "=", ";")):
                continue
            found.append(("arith", t, ARITH_ALTERNATIVES[t.text]))
        elif t.kind == "num":
            if prev.text == "case" or line_of[i] in table_lines:
                continue
            alts = constant_alternatives(t.text)
            if alts:
                found.append(("const", t, alts))
    return found


# ---------------------------------------------------------------- the list

def normalised(line):
    return re.sub(r"\s+", "", line)


def context_hash(lines, index):
    """Hash of the nearest non-blank lines before and after lines[index]."""
    def near(step):
        j = index + step
        while 0 <= j < len(lines):
            if lines[j].strip():
                return normalised(lines[j])
            j += step
        return ""
    return hashlib.sha1((near(-1) + "\n" + near(1)).encode()).hexdigest()[:8]


def same_tokens(line, kind, text):
    """Tokens of the line, lexed alone, that equal the mutated token."""
    want = "num" if kind == "const" else "op"
    return [t for t in lex(line) if t.kind == want and t.text == text]


def nth_in_line(line, kind, token_text, column):
    """Which occurrence (from 0) of the token, lexing the line alone, starts at column."""
    count = 0
    for t in same_tokens(line, kind, token_text):
        if t.start == column:
            return count
        count += 1
    return None


def source_files(tree, folder):
    base = os.path.join(tree, folder)
    out = []
    for dirpath, _, names in os.walk(base):
        for name in names:
            if name.endswith(".cpp"):
                path = os.path.join(dirpath, name)
                with open(path, encoding="utf-8") as f:
                    if not GL_USE.search(f.read()):
                        out.append(os.path.relpath(path, tree))
    return sorted(out)


def candidates(tree):
    """Every mutation site in the GL-free sources, by area, as rows without id."""
    by_area = collections.OrderedDict()
    for area, (folder, _) in AREAS.items():
        rows = []
        for rel in source_files(tree, folder):
            with open(os.path.join(tree, rel), encoding="utf-8") as f:
                text = f.read()
            lines = text.split("\n")
            starts = line_starts(text)
            for kind, tok, alts in sites(text):
                ln = bisect.bisect_right(starts, tok.start) - 1
                col = tok.start - starts[ln]
                nth = nth_in_line(lines[ln], kind, tok.text, col)
                if nth is None:  # the token only lexes so in its file (a multi-line comment)
                    continue
                rows.append(dict(area=area, file=rel, line=ln + 1, col=col + 1, nth=nth,
                                 kind=kind, original=tok.text, alternatives=alts,
                                 context=context_hash(lines, ln), text=lines[ln].strip()))
        by_area[area] = rows
    return by_area


def choose(by_area, quotas, seed):
    """Picks quota[area] sites per area, the three kinds in equal shares where
    there are enough, and one replacement for each; fixed by the seed."""
    rng = random.Random(seed)
    picked = []
    for area, rows in by_area.items():
        pools = collections.OrderedDict((k, [r for r in rows if r["kind"] == k])
                                        for k in ("cmp", "arith", "const"))
        for k in pools:
            rng.shuffle(pools[k])
        want = quotas.get(area, 0)
        kinds = [k for k in pools if pools[k]]
        turn = 0
        while want > 0 and kinds:
            k = kinds[turn % len(kinds)]
            row = pools[k].pop()
            if not pools[k]:
                kinds.remove(k)
            else:
                turn += 1
            alts = row.pop("alternatives")
            # Shifting a comparison's boundary (< to <=) is the subtler fault; give it more weight.
            if row["kind"] == "cmp" and len(alts) == 2:
                row["replacement"] = alts[0] if rng.random() < 0.6 else alts[1]
            else:
                row["replacement"] = rng.choice(alts)
            picked.append(row)
            want -= 1
    picked.sort(key=lambda r: (list(AREAS).index(r["area"]), r["file"], r["line"], r["col"]))
    return [Mutant(id="M%03d" % (i + 1), **r) for i, r in enumerate(picked)]


def write_list(path, mutants, header):
    with open(path, "w", encoding="utf-8") as f:
        for h in header:
            f.write("# " + h + "\n")
        f.write("\t".join(FIELDS) + "\n")
        for m in mutants:
            f.write("\t".join(str(getattr(m, k)).replace("\t", " ") for k in FIELDS) + "\n")


def read_list(path):
    mutants = []
    with open(path, encoding="utf-8") as f:
        rows = [ln.rstrip("\n") for ln in f if not ln.startswith("#") and ln.strip()]
    if not rows or rows[0].split("\t") != FIELDS:
        sys.exit("%s: not a mutant list (header %s)" % (path, "\t".join(FIELDS)))
    for row in rows[1:]:
        cells = row.split("\t")
        if len(cells) != len(FIELDS):
            sys.exit("%s: bad row: %s" % (path, row))
        d = dict(zip(FIELDS, cells))
        for k in ("line", "col", "nth"):
            d[k] = int(d[k])
        mutants.append(Mutant(**d))
    return mutants


def place(m, tree):
    """(path, lines, line index, start, end) of mutant m in the tree, or a reason
    string when it cannot be placed."""
    path = os.path.join(tree, m.file)
    if not os.path.exists(path):
        return "file gone"
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    want = normalised(m.text)
    found = [i for i, ln in enumerate(lines) if normalised(ln) == want]
    if not found:
        return place_rewrapped(m, lines, path, want)
    found.sort(key=lambda i: (context_hash(lines, i) != m.context, abs(i + 1 - m.line)))
    i = found[0]
    same = same_tokens(lines[i], m.kind, m.original)
    if m.nth >= len(same):
        return "token not found in line"
    t = same[m.nth]
    return path, lines, i, t.start, t.end


def place_rewrapped(m, lines, path, want):
    """Places a mutant whose line the formatter wrapped onto several lines or
    joined with its neighbours: the recorded text, without white space, is
    looked for in a window of up to five lines around each place (the one
    nearest the recorded line number wins), and the token goes where the n-th
    equal token of the recorded line lies in that text."""
    same = same_tokens(m.text, m.kind, m.original)
    if m.nth >= len(same):
        return "line text not found"
    # Characters of the recorded line before the token, without white space.
    before = len(normalised(m.text[:same[m.nth].start]))
    best = None
    for i in range(len(lines)):
        if not lines[i].strip():
            continue
        chars = []  # (line, column) of each non-blank character of the window
        for j in range(i, min(i + 5, len(lines))):
            chars += [(j, c) for c, ch in enumerate(lines[j]) if not ch.isspace()]
            text = "".join(lines[a][b] for a, b in chars)
            at = text.find(want)
            if at < 0:
                continue
            # A match must touch the window's first line, or a shorter window
            # finds it too.
            if chars[at][0] != i:
                break
            line, column = chars[at + before]
            for t in same_tokens(lines[line], m.kind, m.original):
                if t.start == column:
                    distance = abs(line + 1 - m.line)
                    if best is None or distance < best[0]:
                        best = (distance, line, t.start, t.end)
            break
    if best is None:
        return "line text not found"
    return path, lines, best[1], best[2], best[3]


def mutated_line(line, start, end, replacement):
    """The line with [start, end) replaced; spaced where the new token would
    run into a neighbouring operator character (a - -b, not a--b)."""
    glue = set("+-*/<>=!&|")
    left = " " if start > 0 and line[start - 1] in glue else ""
    right = " " if end < len(line) and line[end] in glue else ""
    return line[:start] + left + replacement + right + line[end:]


# ---------------------------------------------------------------- running tests

RUN_RE = re.compile(r"^\[ RUN      \] (\S+)")
END_RE = re.compile(r"^\[ +(OK|FAILED|SKIPPED) +\] (\S+?)(,| \(|$)")


def test_env(workdir, tree):
    env = dict(os.environ)
    env.update(LINFOLD_SOURCE_DIR=tree, TMPDIR=os.path.join(workdir, "tmp"),
               LINFOLD_NO_DIALOGS="1", GTEST_COLOR="no")
    env.pop("GTEST_FILTER", None)
    return env


def kill_group(proc):
    try:
        os.killpg(proc.pid, signal.SIGKILL)
    except ProcessLookupError:
        pass
    proc.wait()


def run_program(exe, args, cwd, env, test_limit, total_limit):
    """Runs one gtest program; streams its output to know which test runs.
    Returns (results {name: 'passed'|'failed'|'skipped'} from the console, the
    test running when it stopped, why it stopped: 'exit', 'crash' or 'timeout',
    {name: (outcome, seconds)} from --gtest_output=xml or None)."""
    xml = os.path.join(os.path.dirname(env["TMPDIR"]), "gtest.xml")
    if os.path.exists(xml):
        os.remove(xml)
    proc = subprocess.Popen([exe, "--gtest_output=xml:" + xml] + args, cwd=cwd, env=env,
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                            start_new_session=True)
    results, current, started = {}, None, time.time()
    test_start = started
    buf = b""
    stop = "exit"
    try:
        fd = proc.stdout.fileno()
        while True:
            ready, _, _ = select.select([fd], [], [], 1.0)
            now = time.time()
            if ready:
                chunk = os.read(fd, 65536)
                if not chunk:
                    break
                buf += chunk
                *lines, buf = buf.split(b"\n")
                buf = buf[-65536:]  # a test printing without end of line
                for raw in lines:
                    line = raw.decode("utf-8", "replace")
                    m = RUN_RE.match(line)
                    if m:
                        current, test_start = m.group(1), now
                        continue
                    m = END_RE.match(line)
                    if m and m.group(2) == current:
                        results[current] = {"OK": "passed", "FAILED": "failed",
                                            "SKIPPED": "skipped"}[m.group(1)]
                        current = None
            if current is not None and now - test_start > test_limit(current) \
                    or now - started > total_limit:
                stop = "timeout"
                kill_group(proc)
                break
        proc.wait()
    finally:
        if proc.poll() is None:
            kill_group(proc)
        proc.stdout.close()
    if stop == "exit" and (proc.returncode not in (0, 1) or current is not None):
        stop = "crash"
    from_xml = read_xml(xml) if stop == "exit" else None
    if from_xml is not None and not set(results) <= set(from_xml):
        from_xml = None  # an XML file that misses tests it ran is not to be trusted
    return results, current, stop, from_xml


def read_xml(path):
    if not os.path.exists(path):
        return None
    try:
        root = ET.parse(path).getroot()
    except ET.ParseError:
        return None
    out = {}
    for case in root.iter("testcase"):
        if case.get("status") == "notrun":
            continue
        name = case.get("classname") + "." + case.get("name")
        if case.find("failure") is not None or case.find("error") is not None:
            outcome = "failed"
        elif case.get("result") == "skipped" or case.find("skipped") is not None:
            outcome = "skipped"
        else:
            outcome = "passed"
        out[name] = (outcome, float(case.get("time", 0)))
    return out


def run_suite(exe, cwd, env, baseline_times, total_limit, min_test_limit):
    """Runs every test of exe, going on after a crash or hang with the tests not
    yet run. Returns ({test: outcome}, {test: seconds}, notes); outcomes: passed,
    failed, skipped, crash, timeout; notes say what stopped early."""
    outcomes, seconds, notes = {}, {}, []
    crashes = timeouts = 0

    def limit(name):
        return max(min_test_limit, 10 * baseline_times.get(name, 1.0))

    while True:
        args = ["--gtest_filter=-" + ":".join(sorted(outcomes))] if outcomes else []
        results, current, stop, from_xml = run_program(exe, args, cwd, env, limit, total_limit)
        if from_xml is not None:
            results = {name: outcome for name, (outcome, _) in from_xml.items()}
            seconds.update((name, t) for name, (_, t) in from_xml.items())
        outcomes.update(results)
        if stop == "exit":
            return outcomes, seconds, notes
        if current is None:
            # Died outside any test (start-up or exit): no test to blame, and
            # running again would die the same way.
            outcomes["<program>"] = stop
            notes.append("%s outside a test" % stop)
            return outcomes, seconds, notes
        outcomes[current] = stop
        if stop == "crash":
            crashes += 1
        else:
            timeouts += 1
        if crashes >= 100 or timeouts >= 3:
            notes.append("stopped after %d crashes and %d hangs" % (crashes, timeouts))
            return outcomes, seconds, notes


# ---------------------------------------------------------------- the run folder

class Run:
    """The run folder: a snapshot of the tree, its build, the results so far."""

    def __init__(self, workdir):
        self.dir = os.path.abspath(workdir)
        self.tree = os.path.join(self.dir, "tree")
        self.build = os.path.join(self.tree, "build")
        self.results_path = os.path.join(self.dir, "results.tsv")
        self.list_path = os.path.join(self.dir, "mutants.tsv")
        self.baseline_path = os.path.join(self.dir, "baseline.tsv")
        self.applied_path = os.path.join(self.dir, "applied")
        self.log_path = os.path.join(self.dir, "log.txt")

    def log(self, text):
        line = time.strftime("%H:%M:%S ") + text
        print(line, flush=True)
        with open(self.log_path, "a", encoding="utf-8") as f:
            f.write(line + "\n")

    def snapshot(self, rev, mutant_list):
        """Copies the tree (or rev) and the mutant list into the folder once."""
        os.makedirs(self.dir, exist_ok=True)
        if os.path.isdir(self.tree):
            return False
        partial = self.tree + ".partial"
        shutil.rmtree(partial, ignore_errors=True)
        os.makedirs(partial)
        if rev:
            archive = subprocess.Popen(["git", "-C", ROOT, "archive", rev],
                                       stdout=subprocess.PIPE)
            subprocess.run(["tar", "-x", "-C", partial], stdin=archive.stdout, check=True)
            if archive.wait() != 0:
                sys.exit("git archive %s failed" % rev)
            origin = "git archive %s (%s)" % (rev, subprocess.run(
                ["git", "-C", ROOT, "rev-parse", rev], check=True, stdout=subprocess.PIPE,
                text=True).stdout.strip())
        else:
            names = subprocess.run(["git", "-C", ROOT, "ls-files", "-z", "--cached", "--others",
                                    "--exclude-standard"], check=True,
                                   stdout=subprocess.PIPE).stdout.decode().split("\0")
            for name in filter(None, names):
                src = os.path.join(ROOT, name)
                if not os.path.isfile(src):
                    continue  # deleted but not yet committed
                dst = os.path.join(partial, name)
                os.makedirs(os.path.dirname(dst), exist_ok=True)
                shutil.copy2(src, dst)
            head = subprocess.run(["git", "-C", ROOT, "rev-parse", "HEAD"], check=True,
                                  stdout=subprocess.PIPE, text=True).stdout.strip()
            origin = "working tree of %s at %s" % (ROOT, head)
        shutil.copy(mutant_list, self.list_path)
        with open(os.path.join(self.dir, "origin.txt"), "w") as f:
            f.write(origin + "\n")
        os.rename(partial, self.tree)
        return True

    def recover(self):
        """Puts back a source left mutated by a run that was killed."""
        if os.path.exists(self.applied_path):
            with open(self.applied_path, encoding="utf-8") as f:
                rel = f.readline().strip()
            shutil.copy(self.applied_path + ".orig", os.path.join(self.tree, rel))
            os.remove(self.applied_path)
            os.remove(self.applied_path + ".orig")
            self.log("restored %s, left mutated by a stopped run" % rel)

    def results(self):
        done = collections.OrderedDict()
        if os.path.exists(self.results_path):
            with open(self.results_path, encoding="utf-8") as f:
                for line in f:
                    cells = line.rstrip("\n").split("\t")
                    if len(cells) == 5:
                        done[cells[0]] = dict(status=cells[1], seconds=float(cells[2]),
                                              tests=[t for t in cells[3].split(" ") if t],
                                              note=cells[4])
        return done

    def record(self, mid, status, seconds, tests, note):
        with open(self.results_path, "a", encoding="utf-8") as f:
            f.write("%s\t%s\t%.1f\t%s\t%s\n" % (mid, status, seconds, " ".join(tests), note))
            f.flush()
            os.fsync(f.fileno())


def check_call_logged(cmd, log, timeout, cwd=None):
    """Runs cmd with output to the log file; returns (ok, output tail)."""
    with open(log, "w", encoding="utf-8") as out:
        proc = subprocess.Popen(cmd, cwd=cwd, stdout=out, stderr=subprocess.STDOUT,
                                start_new_session=True)
        try:
            proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            kill_group(proc)
            return False, "timed out after %d s" % timeout
        except BaseException:
            kill_group(proc)
            raise
    with open(log, encoding="utf-8", errors="replace") as f:
        text = f.read()
    return proc.returncode == 0, text


def configure_and_build(run, args):
    os.makedirs(run.build, exist_ok=True)
    with open(os.path.join(run.tree, "CMakeLists.txt"), encoding="utf-8") as f:
        if "LINFOLD_TEST_BUNDLE" not in f.read():
            sys.exit("the tree has no LINFOLD_TEST_BUNDLE option (CMakeLists.txt); "
                     "take a newer revision")
    cmd = ["cmake", "-S", run.tree, "-B", run.build, "-DCMAKE_BUILD_TYPE=Release",
           "-DLINFOLD_WITH_QT=OFF", "-DLINFOLD_TESTS=ON", "-DLINFOLD_BENCH=OFF",
           "-DLINFOLD_WERROR=OFF", "-DLINFOLD_SANITIZE=OFF", "-DLINFOLD_TEST_BUNDLE=ON"]
    if shutil.which("ccache"):
        cmd += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
    if not os.path.exists(os.path.join(run.build, "CMakeCache.txt")):
        run.log("configuring %s" % run.build)
        ok, out = check_call_logged(cmd, os.path.join(run.dir, "configure.log"), 600)
        if not ok:
            sys.exit("configure failed, see %s/configure.log" % run.dir)
    run.log("building %s" % BUNDLE)
    ok, out = build(run, args, 7200)
    if not ok:
        sys.exit("the unchanged tree does not build, see %s/build.log" % run.dir)


def build(run, args, timeout):
    return check_call_logged(["cmake", "--build", run.build, "-j", str(args.jobs), "--target",
                              BUNDLE], os.path.join(run.dir, "build.log"), timeout)


def baseline(run, exe, env):
    """Runs the unchanged tests twice; returns ({test: seconds}, tests to leave out)."""
    if os.path.exists(run.baseline_path):
        times, excluded = {}, set()
        with open(run.baseline_path, encoding="utf-8") as f:
            for line in f:
                name, seconds, state = line.rstrip("\n").split("\t")
                times[name] = float(seconds)
                if state != "ok":
                    excluded.add(name)
        return times, excluded
    run.log("running the unchanged tests twice")
    times, excluded = {}, set()
    for _ in range(2):
        started = time.time()
        outcomes, seconds, notes = run_suite(exe, run.tree, env, {}, 3600, 300)
        run.log("  %d tests in %.1f s %s" % (len(outcomes), time.time() - started,
                                            "; ".join(notes)))
        excluded.update(n for n, o in outcomes.items() if o not in ("passed", "skipped"))
        for name in outcomes:
            times[name] = max(times.get(name, 0.0), seconds.get(name, 0.0))
    with open(run.baseline_path, "w", encoding="utf-8") as f:
        for name in sorted(set(times) | excluded):
            f.write("%s\t%.3f\t%s\n" % (name, times.get(name, 0.0),
                                         "failing" if name in excluded else "ok"))
    if excluded:
        run.log("left out, failing unchanged: %s" % " ".join(sorted(excluded)))
    return times, excluded


INFRA_FAILURE = re.compile(r"Killed signal|internal compiler error|No space left|"
                           r"cannot allocate memory|virtual memory exhausted", re.I)


def run_mutant(run, m, args, exe, env, times, excluded, total_limit):
    """Applies, builds, tests and restores one mutant; returns (status, tests,
    note, seconds spent building and testing)."""
    placed = place(m, run.tree)
    if isinstance(placed, str):
        return "unplaced", [], placed, (0.0, 0.0)
    path, lines, i, start, end = placed
    with open(path, "rb") as f:
        original = f.read()
    new = list(lines)
    new[i] = mutated_line(lines[i], start, end, m.replacement)
    shutil.copy(path, run.applied_path + ".orig")
    with open(run.applied_path, "w", encoding="utf-8") as f:
        f.write(m.file + "\n")
    try:
        with open(path, "w", encoding="utf-8") as f:
            f.write("\n".join(new))
        started = time.time()
        ok, out = build(run, args, args.build_timeout)
        built = time.time() - started
        if not ok:
            if INFRA_FAILURE.search(out) or "timed out" in out[:40]:
                raise RuntimeError("build failed for a reason of the machine, see "
                                   "%s/build.log" % run.dir)
            return "invalid", [], "does not compile", (built, 0.0)
        tmp = env["TMPDIR"]
        shutil.rmtree(tmp, ignore_errors=True)
        os.makedirs(tmp)
        outcomes, _, notes = run_suite(exe, run.tree, env, times, total_limit,
                                       args.test_timeout)
        shutil.rmtree(tmp, ignore_errors=True)
        os.makedirs(tmp)
        caught = sorted(n for n, o in outcomes.items()
                        if o in ("failed", "crash", "timeout") and n not in excluded)
        special = ["%s: %s" % (o, n) for n, o in sorted(outcomes.items())
                   if o in ("crash", "timeout") and n not in excluded]
        note = "; ".join(special[:3] + (["..."] if len(special) > 3 else []) + notes)
        tested = time.time() - started - built
        return ("caught" if caught else "survived"), caught, note, (built, tested)
    finally:
        with open(path, "wb") as f:
            f.write(original)
        os.remove(run.applied_path)
        os.remove(run.applied_path + ".orig")


def interrupt(signum, frame):
    raise KeyboardInterrupt


def cmd_run(args):
    if args.dry_run:
        return cmd_list(argparse.Namespace(tree=ROOT, list=args.list, quiet=False))
    os.nice(args.nice)
    # Also where the shell started us with SIGINT ignored (in the background).
    for sig in (signal.SIGINT, signal.SIGTERM, signal.SIGHUP):
        signal.signal(sig, interrupt)
    run = Run(args.workdir)
    fresh = run.snapshot(args.rev, args.list)
    if not fresh:
        run.recover()
        if not filecmp_same(run.list_path, args.list):
            run.log("note: %s differs from the list this run started with; using the latter"
                    % args.list)
    mutants = read_list(run.list_path)
    with open(os.path.join(run.dir, "origin.txt")) as f:
        run.log("mutants of %s; %d in the list" % (f.read().strip(), len(mutants)))
    configure_and_build(run, args)
    exe = os.path.join(run.build, "tests", BUNDLE)
    env = test_env(run.dir, run.tree)
    os.makedirs(env["TMPDIR"], exist_ok=True)
    times, excluded = baseline(run, exe, env)
    total_limit = max(120.0, 5 * sum(times.values()))
    done = run.results()
    todo = [m for m in mutants if m.id not in done]
    if args.only:
        wanted = set(args.only.split(","))
        todo = [m for m in todo if m.id in wanted]
    if args.limit:
        todo = todo[:args.limit]
    run.log("%d done, %d to run now" % (len(done), len(todo)))
    stopped = 0
    try:
        for k, m in enumerate(todo):
            started = time.time()
            status, tests, note, (built, tested) = run_mutant(run, m, args, exe, env, times,
                                                              excluded, total_limit)
            seconds = time.time() - started
            run.record(m.id, status, seconds, tests, note)
            run.log("[%d/%d] %s %s:%d %s -> %s  %s (%d tests)  %.0f s (build %.0f, tests %.0f)%s"
                    % (k + 1, len(todo), m.id, m.file, m.line, m.original, m.replacement,
                       status, len(tests), seconds, built, tested, "  " + note if note else ""))
    except KeyboardInterrupt:
        stopped = 130
        run.log("stopped; the source is restored, start again to go on")
    except RuntimeError as e:
        stopped = 2
        run.log("stopped: %s; the source is restored, start again to go on" % e)
    finally:
        report(run)
    return stopped


def filecmp_same(a, b):
    with open(a, "rb") as fa, open(b, "rb") as fb:
        return fa.read() == fb.read()


# ---------------------------------------------------------------- reports

def report(run):
    mutants = read_list(run.list_path)
    done = run.results()
    matrix = os.path.join(run.dir, "kill-matrix.tsv")
    with open(os.path.join(run.dir, "origin.txt")) as f:
        origin = f.read().strip()
    with open(matrix, "w", encoding="utf-8") as f:
        f.write("# kill matrix of %s\n" % origin)
        f.write("# list fingerprint %s\n" % list_fingerprint(mutants))
        f.write("id\tarea\tfile\tline\toriginal\treplacement\tstatus\ttests\n")
        for m in mutants:
            r = done.get(m.id)
            f.write("%s\t%s\t%s\t%d\t%s\t%s\t%s\t%s\n" % (
                m.id, m.area, m.file, m.line, m.original, m.replacement,
                r["status"] if r else "not-run", " ".join(r["tests"]) if r else ""))
    text = summary(mutants, done, origin)
    with open(os.path.join(run.dir, "summary.txt"), "w", encoding="utf-8") as f:
        f.write(text)
    print(text)
    print("kill matrix: %s" % matrix)


def list_fingerprint(mutants):
    h = hashlib.sha1()
    for m in mutants:
        h.update(("%s %s %s %s %s\n" % (m.id, m.file, m.original, m.replacement,
                                        normalised(m.text))).encode())
    return h.hexdigest()[:12]


def summary(mutants, done, origin):
    statuses = ["caught", "survived", "invalid", "unplaced", "not-run"]
    table = collections.OrderedDict()
    for m in mutants:
        r = done.get(m.id)
        s = r["status"] if r else "not-run"
        for key in (m.area, "kind " + m.kind, "all"):
            table.setdefault(key, collections.Counter())[s] += 1
    out = ["Mutants of %s" % origin, ""]
    out.append("%-16s %5s " % ("", "total") + " ".join("%8s" % s for s in statuses)
               + "  caught/valid")
    keys = [a for a in AREAS if a in table] + sorted(k for k in table if k.startswith("kind ")) \
        + ["all"]
    for key in keys:
        c = table[key]
        valid = c["caught"] + c["survived"]
        share = "%.0f%%" % (100.0 * c["caught"] / valid) if valid else "-"
        out.append("%-16s %5d " % (key, sum(c.values())) + " ".join("%8d" % c[s] for s in statuses)
                   + "  %s" % share)
    secs = [r["seconds"] for r in done.values()]
    if secs:
        out.append("")
        out.append("time: %.0f s for %d mutants, %.1f s a mutant" % (sum(secs), len(secs),
                                                                     sum(secs) / len(secs)))
    survivors = [m.id for m in mutants if done.get(m.id, {}).get("status") == "survived"]
    if survivors:
        out.append("")
        out.append("survived: " + " ".join(survivors))
    only = collections.defaultdict(list)
    for mid, r in done.items():
        if r["status"] == "caught" and len(r["tests"]) == 1:
            only[r["tests"][0]].append(mid)
    if only:
        out.append("")
        out.append("caught by one test only (keep these checks):")
        for test in sorted(only):
            out.append("  %s: %s" % (test, " ".join(sorted(only[test]))))
    return "\n".join(out) + "\n"


def read_matrix(path):
    if os.path.isdir(path):
        path = os.path.join(path, "kill-matrix.tsv")
    rows, fingerprint = collections.OrderedDict(), None
    with open(path, encoding="utf-8") as f:
        for line in f:
            if line.startswith("# list fingerprint"):
                fingerprint = line.split()[-1]
            if line.startswith("#") or line.startswith("id\t") or not line.strip():
                continue
            cells = line.rstrip("\n").split("\t")
            rows[cells[0]] = dict(file=cells[2], line=cells[3], original=cells[4],
                                  replacement=cells[5], status=cells[6],
                                  tests=[t for t in cells[7].split(" ") if t])
    return rows, fingerprint


def cmd_compare(args):
    old, fold = read_matrix(args.old)
    new, fnew = read_matrix(args.new)
    if fold != fnew:
        print("warning: the two matrices come from different mutant lists")
    for name, rows in (("old", old), ("new", new)):
        c = collections.Counter(r["status"] for r in rows.values())
        valid = c["caught"] + c["survived"]
        print("%s: %s; caught/valid %s" % (
            name, ", ".join("%s %d" % kv for kv in sorted(c.items())),
            "%.0f%%" % (100.0 * c["caught"] / valid) if valid else "-"))
    gained = [k for k, r in new.items() if r["status"] == "caught"
              and old.get(k, {}).get("status") != "caught"]
    print("caught by the new suite only: %d  %s" % (len(gained), " ".join(gained)))
    # Mutants the old suite caught, by what became of them in the new matrix.
    groups = collections.OrderedDict([
        ("survived", "caught by the old suite, not by the new"),
        ("invalid", "caught by the old suite, do not compile in the new tree"),
        ("unplaced", "caught by the old suite, their line is gone from the new tree"),
        ("not-run", "caught by the old suite, not run yet in the new matrix")])
    bad = 0
    for status, title in groups.items():
        ids = [k for k, r in old.items() if r["status"] == "caught"
               and new.get(k, {"status": "not-run"})["status"] == status]
        if status == "not-run" and ids and len(ids) > 10:
            print("%s: %d (the new run is not complete)" % (title, len(ids)))
            bad += len(ids)
            continue
        print("%s: %d" % (title, len(ids)))
        for k in ids:
            r = old[k]
            print("  %s %s:%s %s -> %s  old caught by: %s" % (
                k, r["file"], r["line"], r["original"], r["replacement"],
                " ".join(r["tests"][:3]) + (" ..." if len(r["tests"]) > 3 else "")))
        bad += len(ids)
    return 1 if bad else 0


# ---------------------------------------------------------------- other commands

def parse_quota(text):
    quotas = collections.OrderedDict((a, q) for a, (_, q) in AREAS.items())
    if text:
        for part in text.split(","):
            area, _, n = part.partition("=")
            if area not in quotas or not n.isdigit():
                sys.exit("bad quota %r (areas: %s)" % (part, ", ".join(AREAS)))
            quotas[area] = int(n)
    return quotas


def cmd_generate(args):
    by_area = candidates(ROOT)
    quotas = parse_quota(args.quota)
    mutants = choose(by_area, quotas, args.seed)
    head = subprocess.run(["git", "-C", ROOT, "rev-parse", "--short", "HEAD"],
                          stdout=subprocess.PIPE, text=True).stdout.strip()
    write_list(args.list, mutants, [
        "Seeded faults for scripts/mutants.py: generated with --seed %d at %s." % (args.seed, head),
        "Frozen: regenerate only to start a new baseline. Sites per area: " +
        ", ".join("%s %d" % (a, len(r)) for a, r in by_area.items())])
    kinds = collections.Counter(m.kind for m in mutants)
    print("%d mutants (%s) written to %s" % (len(mutants), ", ".join(
        "%s %d" % kv for kv in sorted(kinds.items())), os.path.relpath(args.list)))
    return 0


def cmd_list(args):
    mutants = read_list(args.list)
    bad = 0
    for m in mutants:
        placed = place(m, args.tree)
        if isinstance(placed, str):
            bad += 1
            print("%s %-9s %s:%d  %s" % (m.id, "UNPLACED", m.file, m.line, placed))
            continue
        path, lines, i, start, end = placed
        if not args.quiet:
            print("%s %-9s %s:%d:%d  %s -> %s\n      %s" % (
                m.id, m.kind, m.file, i + 1, start + 1, m.original, m.replacement,
                mutated_line(lines[i], start, end, m.replacement).strip()))
    areas = collections.Counter(m.area for m in mutants)
    kinds = collections.Counter(m.kind for m in mutants)
    print("%d mutants, %d placed; areas: %s; kinds: %s" % (
        len(mutants), len(mutants) - bad, ", ".join("%s %d" % (a, areas[a]) for a in AREAS),
        ", ".join("%s %d" % kv for kv in sorted(kinds.items()))))
    return 1 if bad else 0


def cmd_reanchor(args):
    mutants = read_list(args.list)
    out, bad = [], 0
    for m in mutants:
        placed = place(m, ROOT)
        if isinstance(placed, str):
            bad += 1
            print("%s unplaced (%s), kept as it was" % (m.id, placed))
            out.append(m)
            continue
        path, lines, i, start, end = placed
        out.append(m._replace(line=i + 1, col=start + 1, context=context_hash(lines, i),
                              text=lines[i].strip()))
    with open(args.list, encoding="utf-8") as f:
        header = [ln[2:].rstrip("\n") for ln in f if ln.startswith("# ")]
    write_list(args.list, out, header)
    print("%d mutants re-anchored, %d unplaced" % (len(mutants) - bad, bad))
    return 1 if bad else 0


def main():
    p = argparse.ArgumentParser(description=__doc__,
                                formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--list", default=LIST, help="the mutant list (default scripts/mutants.tsv)")
    sub = p.add_subparsers(dest="command", required=True)
    g = sub.add_parser("generate", help="write a new mutant list")
    g.add_argument("--seed", type=int, default=15)
    g.add_argument("--quota", help="mutants per area, e.g. mesh=60,pdf=10")
    ls = sub.add_parser("list", help="place and print every mutant (no build)")
    ls.add_argument("--tree", default=ROOT)
    ls.add_argument("--quiet", action="store_true", help="print only unplaced mutants")
    sub.add_parser("reanchor", help="update line numbers for the current sources")
    r = sub.add_parser("run", help="run or resume the mutants")
    r.add_argument("--workdir", default=os.path.join(ROOT, "build-mutants"))
    r.add_argument("--rev", help="take the sources from this git revision")
    r.add_argument("--only", help="comma-separated mutant ids")
    r.add_argument("--limit", type=int, help="run at most this many now")
    r.add_argument("--jobs", type=int, default=2, help="compile jobs (default 2)")
    r.add_argument("--nice", type=int, default=10)
    r.add_argument("--build-timeout", type=int, default=1200)
    r.add_argument("--test-timeout", type=float, default=30.0,
                   help="seconds before a test counts as hung (at least 10x its normal time)")
    r.add_argument("--dry-run", action="store_true", help="same as list")
    rp = sub.add_parser("report", help="write the kill matrix and summary")
    rp.add_argument("--workdir", default=os.path.join(ROOT, "build-mutants"))
    c = sub.add_parser("compare", help="mutants the old suite caught and the new does not")
    c.add_argument("old")
    c.add_argument("new")
    args = p.parse_args()
    args.list = os.path.abspath(args.list)
    if args.command == "report":
        report(Run(args.workdir))
        return 0
    return {"generate": cmd_generate, "list": cmd_list, "reanchor": cmd_reanchor,
            "run": cmd_run, "compare": cmd_compare}[args.command](args)


if __name__ == "__main__":
    sys.exit(main())
