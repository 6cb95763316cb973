"""Components depend one way: a file may include headers of its own component and of the components below it,
never of one above, and no two components may include each other, directly or around a loop. The layers are
listed bottom-up in LAYERS (docs/DEVELOPING.md draws them); every include is named from its root, as the build
sees it: "settings/SettingsStore.h" from app/, "common/ProviderRegistry.h" from the top.

usage: check_layers.py SOURCE_DIR        (prints each violation as file:line, then the counts)
       check_layers.py --self-test       (plants violations in a small tree and checks each is named)
"""
import contextlib
import io
import os
import re
import sys
import tempfile

# Bottom-up. The bridge and the command line (cli/) are their own deliverables: they see only common/. pet/qml
# and shell/qml are the QML modules that show the C++ below them (shell/models: the settings windows' models);
# shell/ assembles everything.
LAYERS = [
    "common",
    "app/core",
    "app/platform",
    "app/model",
    "app/approvals",
    "app/settings",
    "app/hooks",
    "app/intake",
    "app/remote",
    "app/summary",
    "app/petart",
    "app/focus",
    "app/sessions",
    "app/pet",
    "app/pet/qml",
    "app/shell/models",
    "app/shell/qml",
    "app/shell",
    "app",  # main.cpp
]
SEPARATE = {"bridge": {"common", "bridge"}, "cli": {"common", "cli"}}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
SOURCES = (".h", ".cpp")


def component_of(relative):
    folder = os.path.dirname(relative)
    for name in sorted(LAYERS + list(SEPARATE), key=len, reverse=True):
        if folder == name or folder.startswith(name + "/"):
            return name
    return None


def includes(source):
    """(file, line, included file) for every include of a file in the tree; generated and system headers are
    left out."""
    files = []
    for top in ["common", "bridge", "cli", "app"]:
        for folder, _, names in os.walk(os.path.join(source, top)):
            files += [os.path.relpath(os.path.join(folder, n), source) for n in names if n.endswith(SOURCES)]
    known = set(files)
    found = []
    for f in sorted(files):
        with open(os.path.join(source, f), encoding="utf-8", errors="replace") as text:
            for number, line in enumerate(text, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                header = m.group(1)
                for candidate in (os.path.normpath(os.path.join(os.path.dirname(f), header)), header,
                                  "app/" + header):
                    if candidate in known:
                        found.append((f, number, candidate))
                        break
    return files, found


def loops(edges):
    """Each cycle of the component graph once, as a list of components (Tarjan's strongly connected parts)."""
    index, low, stack, on_stack, parts = {}, {}, [], set(), []

    def visit(node):
        index[node] = low[node] = len(index)
        stack.append(node)
        on_stack.add(node)
        for other in sorted(edges.get(node, ())):
            if other not in index:
                visit(other)
                low[node] = min(low[node], low[other])
            elif other in on_stack:
                low[node] = min(low[node], index[other])
        if low[node] == index[node]:
            part = []
            while True:
                top = stack.pop()
                on_stack.discard(top)
                part.append(top)
                if top == node:
                    break
            if len(part) > 1:
                parts.append(sorted(part))

    for node in sorted(edges):
        if node not in index:
            visit(node)
    return parts


def shortest_loop(start, edges, within):
    """The shortest way from start back to itself inside one strongly connected part: [start, ..., start]."""
    came_from, frontier = {}, [start]
    while frontier:
        following = []
        for node in frontier:
            for other in sorted(edges.get(node, ())):
                if other not in within or other in came_from:
                    continue
                came_from[other] = node
                if other == start:
                    path = [start]
                    while len(path) == 1 or path[-1] != start:
                        path.append(came_from[path[-1]])
                    return path[::-1]
                following.append(other)
        frontier = following
    return [start]


def main(source):
    files, found = includes(source)
    problems, edges, example = [], {}, {}
    for f in files:
        if component_of(f) is None:
            problems.append(f"{f}: in no component; add its folder to LAYERS")
    for f, number, target in found:
        own, theirs = component_of(f), component_of(target)
        if own is None or theirs is None or own == theirs:
            continue
        edges.setdefault(own, set()).add(theirs)
        example.setdefault((own, theirs), f"{f}:{number}")
        if own in SEPARATE:
            if theirs not in SEPARATE[own]:
                problems.append(f"{f}:{number}: includes {target}, outside what {own}/ may see")
        elif theirs in SEPARATE or LAYERS.index(theirs) > LAYERS.index(own):
            problems.append(f"{f}:{number}: includes {target} ({theirs}/ is above {own}/)")
    cycles = loops(edges)
    for part in cycles:
        path = shortest_loop(part[0], edges, set(part))
        steps = [f"{a} → {b} ({example[(a, b)]})" for a, b in zip(path, path[1:])]
        problems.append("components include each other: " + "; ".join(steps))
    for p in problems:
        print(p)
    print(f"{len(found)} includes between files, {sum(map(len, edges.values()))} between components, "
          f"{len(problems)} problems")
    return 1 if problems else 0


def self_test():
    tree = {
        "common/Text.h": "",
        "bridge/Run.cpp": '#include "common/Text.h"\n#include "app/core/Paths.h"\n',
        "app/core/Paths.h": '#include "common/Text.h"\n',
        "app/core/Paths.cpp": '#include "core/Paths.h"\n#include "shell/Start.h"\n',
        "app/settings/Store.h": '#include "core/Paths.h"\n',
        "app/shell/Start.h": '#include "settings/Store.h"\n#include <QObject>\n#include "moc_Start.cpp"\n',
    }
    expected = [
        "bridge/Run.cpp:2: includes app/core/Paths.h, outside what bridge/ may see",
        "app/core/Paths.cpp:2: includes app/shell/Start.h (app/shell/ is above app/core/)",
        "components include each other: app/core → app/shell (app/core/Paths.cpp:2); "
        "app/shell → app/settings (app/shell/Start.h:1); app/settings → app/core (app/settings/Store.h:1)",
    ]
    with tempfile.TemporaryDirectory() as root:
        for name, text in tree.items():
            os.makedirs(os.path.join(root, os.path.dirname(name)), exist_ok=True)
            with open(os.path.join(root, name), "w") as f:
                f.write(text)
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            status = main(root)
    lines = out.getvalue().splitlines()
    missing = [e for e in expected if e not in lines]
    for line in missing:
        print("not reported:", line)
    if status == 0 or missing or len(lines) != len(expected) + 1:
        print(out.getvalue())
        return 1
    print("every planted violation was named")
    return 0


if __name__ == "__main__":
    sys.exit(self_test() if sys.argv[1:] == ["--self-test"] else main(sys.argv[1]))
