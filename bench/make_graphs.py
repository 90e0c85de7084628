#!/usr/bin/env python3
"""Writes the fixed benchmark instances into bench/graphs/. Deterministic: a fixed seed."""
import itertools
import math
import os
import random

HERE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "graphs")


def write(name, comment, edges):
    with open(os.path.join(HERE, name), "w") as out:
        out.write(f"c {comment}\n")
        for u, v in edges:
            out.write(f"e {u} {v}\n")


def grid(rows, cols):
    at = lambda r, c: r * cols + c
    for r in range(rows):
        for c in range(cols):
            if c + 1 < cols:
                yield at(r, c), at(r, c + 1)
            if r + 1 < rows:
                yield at(r, c), at(r + 1, c)


def petersen():
    outer = [(i, (i + 1) % 5) for i in range(5)]
    spokes = [(i, i + 5) for i in range(5)]
    inner = [(5 + i, 5 + (i + 2) % 5) for i in range(5)]
    return outer + spokes + inner


def random_cubic(n, rng, degree=3):
    """A simple connected 3-regular (or degree-regular) graph from the configuration model, by
    rejection."""
    while True:
        stubs = [v for v in range(n) for _ in range(degree)]
        rng.shuffle(stubs)
        edges = [tuple(sorted(stubs[i:i + 2])) for i in range(0, len(stubs), 2)]
        simple = all(u != v for u, v in edges) and len(set(edges)) == len(edges)
        if simple and connected(n, edges):
            return edges


def connected(n, edges):
    adjacent = {v: [] for v in range(n)}
    for u, v in edges:
        adjacent[u].append(v)
        adjacent[v].append(u)
    seen, frontier = {0}, [0]
    while frontier:
        for w in adjacent[frontier.pop()]:
            if w not in seen:
                seen.add(w)
                frontier.append(w)
    return len(seen) == n


def truncated_icosahedron():
    """C60, the truncated icosahedron: every vertex of the icosahedron cut off, one new vertex
    per edge end, joined around each old vertex in the order of its neighbours on the sphere."""
    phi = (1 + 5 ** 0.5) / 2
    points = []
    for a, b in itertools.product((-1, 1), repeat=2):
        points += [(0, a, b * phi), (a, b * phi, 0), (b * phi, 0, a)]
    near = lambda p, q: abs(sum((s - t) ** 2 for s, t in zip(p, q)) - 4) < 1e-9
    neighbours = {v: [w for w in range(12) if w != v and near(points[v], points[w])]
                  for v in range(12)}
    end = {}
    for v in range(12):
        for w in neighbours[v]:
            end[v, w] = len(end)
    edges = [(end[v, w], end[w, v]) for v in range(12) for w in neighbours[v] if v < w]
    for v in range(12):
        # Neighbours in angular order about the axis through v.
        normal = points[v]
        first = [c - d for c, d in zip(points[neighbours[v][0]], normal)]
        cross = lambda p, q: (p[1] * q[2] - p[2] * q[1], p[2] * q[0] - p[0] * q[2],
                              p[0] * q[1] - p[1] * q[0])
        dot = lambda p, q: sum(s * t for s, t in zip(p, q))
        second = cross(normal, first)

        def angle(w):
            offset = [c - d for c, d in zip(points[w], normal)]
            return math.atan2(dot(offset, second), dot(offset, first))

        ring = sorted(neighbours[v], key=angle)
        edges += [(end[v, ring[k]], end[v, ring[(k + 1) % 5]]) for k in range(5)]
    return edges


def short_cycle_deficit(n, adjacent, girth):
    """Sum over edges of how much shorter than `girth` the shortest cycle through each is."""
    total = 0
    for u in range(n):
        for v in adjacent[u]:
            if v < u:
                continue
            # Breadth-first from u without the edge uv, to depth girth - 2.
            seen, frontier, depth, found = {u}, [u], 0, 0
            while frontier and depth < girth - 2 and not found:
                depth += 1
                reached = []
                for a in frontier:
                    for b in adjacent[a]:
                        if (a == u and b == v) or b in seen:
                            continue
                        if b == v:
                            found = depth
                            break
                        seen.add(b)
                        reached.append(b)
                    if found:
                        break
                frontier = reached
            if found:
                total += girth - 1 - found
    return total


def high_girth_cubic(n, girth, rng):
    """A 3-regular graph of girth at least `girth`: the cycle 0, 1, ..., n - 1 and a perfect
    matching of chords, improved by exchanging the ends of two chords whenever that does not
    lengthen the short cycles (and now and then when it does), restarting from a new matching
    after 4,000 exchanges. Returns the chords' offsets (the graph's LCF notation) too."""
    while True:
        while True:
            order = list(range(n))
            rng.shuffle(order)
            mate = [0] * n
            for i in range(0, n, 2):
                mate[order[i]], mate[order[i + 1]] = order[i + 1], order[i]
            if all((mate[i] - i) % n not in (1, n - 1) for i in range(n)):
                break
        adjacent = lambda m: [[(i - 1) % n, (i + 1) % n, m[i]] for i in range(n)]
        deficit = short_cycle_deficit(n, adjacent(mate), girth)
        for _ in range(4000):
            if deficit == 0:
                edges = [(i, (i + 1) % n) for i in range(n)]
                edges += [(i, mate[i]) for i in range(n) if i < mate[i]]
                return edges, [(mate[i] - i) % n for i in range(n)]
            i, k = rng.sample(range(n), 2)
            j, l = mate[i], mate[k]
            if len({i, j, k, l}) < 4:
                continue
            new = list(mate)
            if rng.random() < 0.5:
                new[i], new[k], new[j], new[l] = k, i, l, j
            else:
                new[i], new[l], new[j], new[k] = l, i, k, j
            if any((new[a] - a) % n in (1, n - 1) for a in (i, j, k, l)):
                continue
            candidate = short_cycle_deficit(n, adjacent(new), girth)
            if candidate <= deficit or rng.random() < 0.01:
                mate, deficit = new, candidate


def multigraph(rng):
    """30 vertices on a cycle, 20 random chords, 8 doubled edges and 6 loops."""
    n = 30
    edges = [(i, (i + 1) % n) for i in range(n)]
    edges += [tuple(rng.sample(range(n), 2)) for _ in range(20)]
    edges += rng.sample(edges, 8)
    edges += [(v, v) for v in rng.sample(range(n), 6)]
    rng.shuffle(edges)
    return edges


def dense_random(n, degree, seed):
    """G(n, p) with p = degree / (n - 1) as networkx draws it from `seed`, the first seed from
    there whose graph is connected."""
    import networkx

    while True:
        graph = networkx.gnp_random_graph(n, degree / (n - 1), seed=seed)
        if networkx.is_connected(graph):
            return sorted(graph.edges())
        seed += 1


def main():
    os.makedirs(HERE, exist_ok=True)
    rng = random.Random(20261208)
    write("grid8x8.txt", "the 8 x 8 grid: 64 vertices, 112 edges", grid(8, 8))
    write("grid10x10.txt", "the 10 x 10 grid: 100 vertices, 180 edges", grid(10, 10))
    write("k10.txt", "the complete graph K10: 10 vertices, 45 edges",
          itertools.combinations(range(10), 2))
    write("petersen.txt", "the Petersen graph: 10 vertices, 15 edges", petersen())
    write("cubic100.txt", "a random 3-regular graph: 100 vertices, 150 edges",
          random_cubic(100, rng))
    write("cubic1000.txt", "a random 3-regular graph: 1000 vertices, 1500 edges",
          random_cubic(1000, rng))
    write("multigraph.txt", "a multigraph with loops and parallel edges: 30 vertices, 64 edges",
          multigraph(rng))
    # For the exact evaluator: small grids, and at its two limits the random 4-regular graphs
    # that took it longest among 32 drawn on 20 vertices and 24 on 23 (seeds 1000 n + 1, ...).
    write("grid5x5.txt", "the 5 x 5 grid: 25 vertices, 40 edges", grid(5, 5))
    write("grid6x6.txt", "the 6 x 6 grid: 36 vertices, 60 edges", grid(6, 6))
    write("quartic20.txt", "a random 4-regular graph: 20 vertices, 40 edges",
          random_cubic(20, random.Random(20013), degree=4))
    write("quartic23.txt", "a random 4-regular graph: 23 vertices, 46 edges",
          random_cubic(23, random.Random(23016), degree=4))
    # For the frontier engine: larger grids and the fullerene C60.
    write("grid12x12.txt", "the 12 x 12 grid: 144 vertices, 264 edges", grid(12, 12))
    write("grid14x14.txt", "the 14 x 14 grid: 196 vertices, 364 edges", grid(14, 14))
    write("c60.txt", "the fullerene C60 (truncated icosahedron): 60 vertices, 90 edges",
          truncated_icosahedron())
    # For the reduced walk's cost per node as the graph grows (100, 1000 and 3000 vertices).
    write("cubic3000.txt", "a random 3-regular graph: 3000 vertices, 4500 edges",
          random_cubic(3000, random.Random(3000)))
    # Beside the (3, 9)-cages of 58 vertices: a 3-regular graph of the same order and girth 8,
    # the highest this search reaches in seconds (girth 9 on 58 vertices is the cages' alone).
    edges, offsets = high_girth_cubic(58, 8, random.Random(7))
    write("girth8cubic58.txt", "a 3-regular graph of girth 8: 58 vertices, 87 edges; LCF " +
          " ".join(map(str, offsets)), edges)
    # Dense: where acyclicity binds ((2, 1), (2, 0)), the reduced walk's guided points.
    edges = dense_random(100, 16, 1)
    write("dense100.txt", f"a random graph G(100, 16/99): 100 vertices, {len(edges)} edges", edges)
    # For the telescoping cluster popping at T(1, y): small 3-regular graphs the exact engines
    # answer, and the sizes between those above.
    for n in (20, 40, 60, 300):
        write(f"cubic{n}.txt", f"a random 3-regular graph: {n} vertices, {3 * n // 2} edges",
              random_cubic(n, random.Random(n)))
    write("grid20x20.txt", "the 20 x 20 grid: 400 vertices, 760 edges", grid(20, 20))


if __name__ == "__main__":
    main()
