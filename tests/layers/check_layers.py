"""Components depend one way: a file may include headers of its own component and of the components below it,
never of one above (which is also what keeps two components from including each other, directly or around a
loop). The layers are listed bottom-up in LAYERS; the includes that still run upward are listed, file and
header, in known-upward.txt, which may only shrink: a new upward include fails, and so does a listed one that
is gone (take it out of the list).

usage: check_layers.py SOURCE_DIR        (prints each violation as file:line, and the counts)
"""
import os
import re
import sys

# Bottom-up. The bridge is its own deliverable: it sees only common/. pet/qml and shell/qml are the QML modules
# of their folders, each above the C++ it shows.
LAYERS = [
    "common",
    "app/core",
    "app/platform",
    "app/model",
    "app/approvals",
    "app/hooks",
    "app/intake",
    "app/summary",
    "app/sessions",
    "app/pet",
    "app/pet/qml",
    "app/shell/qml",
    "app/shell",
    "app",  # main.cpp
]
SEPARATE = {"bridge": {"common", "bridge"}}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
SOURCES = (".h", ".cpp")


def component_of(relative):
    folder = os.path.dirname(relative)
    for name in sorted(LAYERS + list(SEPARATE), key=len, reverse=True):
        if folder == name or folder.startswith(name + "/"):
            return name
    return None


def main(source):
    files = []
    for top in ["common", "bridge", "app"]:
        for folder, _, names in os.walk(os.path.join(source, top)):
            files += [os.path.relpath(os.path.join(folder, n), source) for n in names if n.endswith(SOURCES)]
    by_name = {}
    for f in files:
        by_name.setdefault(os.path.basename(f), []).append(f)

    def resolve(including, header):
        beside = os.path.normpath(os.path.join(os.path.dirname(including), header))
        if beside in files:
            return beside
        if header in files:
            return header
        if ("app/" + header) in files:
            return "app/" + header
        found = by_name.get(os.path.basename(header), [])
        return found[0] if len(found) == 1 else None

    problems, upward = [], set()
    for f in sorted(files):
        own = component_of(f)
        if own is None:
            problems.append(f"{f}: in no component; add its folder to LAYERS")
            continue
        with open(os.path.join(source, f), encoding="utf-8", errors="replace") as text:
            for number, line in enumerate(text, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                target = resolve(f, m.group(1))
                if target is None:
                    continue  # generated or outside the tree
                theirs = component_of(target)
                if own in SEPARATE:
                    if theirs not in SEPARATE[own]:
                        problems.append(f"{f}:{number}: includes {target}, outside what {own}/ may see")
                    continue
                if theirs in SEPARATE or LAYERS.index(theirs) > LAYERS.index(own):
                    upward.add((f, target, number))

    listed_path = os.path.join(os.path.dirname(os.path.abspath(__file__)), "known-upward.txt")
    listed = set()
    with open(listed_path) as text:
        for line in text:
            line = line.split("#", 1)[0].strip()
            if line:
                including, header = line.split()
                listed.add((including, header))
    found = {(f, t) for f, t, _ in upward}
    for f, t, number in sorted(upward):
        if (f, t) not in listed:
            problems.append(f"{f}:{number}: includes {t} ({component_of(t)}/ is above {component_of(f)}/)")
    for f, t in sorted(listed - found):
        problems.append(f"known-upward.txt: {f} no longer includes {t}; take the line out")
    for p in problems:
        print(p)
    print(f"includes that run upward: {len(found)} ({len(found & listed)} listed as known)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
