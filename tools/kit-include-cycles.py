#!/usr/bin/env python3
"""Lists the include cycles between the platform kits' files.

A header leads on to the .cpp files of its own kit that include it, since
that is where its promises are kept (Window.h to Window.cpp, a private
header to whichever of its kit's files defines what it declares); any file
leads to the headers it includes. A cycle is a set of files that reach each
other that way; only cycles whose files sit in more than one kit are
printed, one a line, with the kits they join.

    tools/kit-include-cycles.py [PLATFORM_DIR [KIT_MAP_DIR]]

KIT_MAP_DIR (by default PLATFORM_DIR) says which kit a file belongs to, by
the folder its name sits in there: pointing it at today's tree measures an
older checkout by today's kits.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*[<"](?:private/)?([A-Za-z0-9_]+)\.h[>"]', re.M)


def files(root):
    """File name (Window.h, Window.cpp) -> path; names are unique."""
    found = {}
    for folder, _, names in os.walk(root):
        for name in names:
            if name.endswith(('.h', '.cpp')):
                found[name] = os.path.join(folder, name)
    return found


def kit_of(root, path):
    rel = os.path.relpath(path, root).split(os.sep)
    return rel[0] if len(rel) > 1 else '(root)'


def strongly_connected(graph):
    index, low, stack, on_stack, result = {}, {}, [], set(), []
    counter = [0]

    def visit(node):
        index[node] = low[node] = counter[0]
        counter[0] += 1
        stack.append(node)
        on_stack.add(node)
        for other in graph.get(node, ()):
            if other not in index:
                visit(other)
                low[node] = min(low[node], low[other])
            elif other in on_stack:
                low[node] = min(low[node], index[other])
        if low[node] == index[node]:
            component = []
            while True:
                other = stack.pop()
                on_stack.discard(other)
                component.append(other)
                if other == node:
                    break
            result.append(sorted(component))

    sys.setrecursionlimit(10000)
    for node in list(graph):
        if node not in index:
            visit(node)
    return result


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else 'platform'
    map_root = sys.argv[2] if len(sys.argv) > 2 else root
    code = files(root)
    kits = {name: kit_of(map_root, path) for name, path in files(map_root).items()}
    graph = {name: set() for name in code}
    for name, path in code.items():
        with open(path, encoding='utf-8', errors='replace') as source:
            for header in INCLUDE.findall(source.read()):
                header += '.h'
                if header in code and header != name:
                    graph[name].add(header)
                    if name.endswith('.cpp') and kits.get(name) == kits.get(header):
                        graph[header].add(name)
    cycles = 0
    for component in strongly_connected(graph):
        joined = sorted({kits.get(name, '?') for name in component})
        if len(component) > 1 and len(joined) > 1:
            cycles += 1
            print(' '.join(component), '--', ', '.join(joined))
    if cycles == 0:
        print('no include cycles between kits')


if __name__ == '__main__':
    main()
