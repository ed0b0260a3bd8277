#!/usr/bin/env python3
"""Writes large tori and spheres as ascii Inventor files for the end-to-end
timings of linfold-render (bench/render_timings.sh).

The shapes are those of data/torus.iv and data/sphere.iv (same layout, same
tilt, one IndexedTriangleStripSet of one strip per ring), only finer:

    make_big_models.py torus 1000000 torus_1m.iv
    make_big_models.py sphere 1000000 sphere_1m.iv

    make_big_models.py cubesphere 1000000 cubesphere_1m.iv

The triangle count is met as closely as the grid allows. "sphere" is a
latitude-longitude sphere like data/sphere.iv, whose poles are fans of
thousands of slivers at a million triangles; "cubesphere" is a cube's six
faces, each an n x n grid in equal-angle coordinates, projected onto the
unit sphere: triangles of about one size everywhere.
"""

import math
import sys


def torus(triangles):
    # nu x nv quads, two triangles each, nu = 2 nv.
    nv = max(3, round(math.sqrt(triangles / 4.0)))
    nu = 2 * nv
    R, r, tilt = 1.0, 0.35, math.pi / 3
    c, s = math.cos(tilt), math.sin(tilt)
    points = []
    for i in range(nu):
        u = 2.0 * math.pi * i / nu
        cu, su = math.cos(u), math.sin(u)
        for j in range(nv):
            v = 2.0 * math.pi * j / nv
            w = R + r * math.cos(v)
            y, z = w * su, r * math.sin(v)
            points.append((w * cu, c * y - s * z, s * y + c * z))
    strips = []
    for i in range(nu):
        a, b = i * nv, ((i + 1) % nu) * nv
        strip = []
        for j in range(nv + 1):
            strip.append(a + j % nv)
            strip.append(b + j % nv)
        strips.append(strip)
    return points, strips


def sphere(triangles):
    # 2 segments (rings - 1) triangles, segments = 2 rings.
    rings = max(3, round(math.sqrt(triangles / 4.0)))
    segments = 2 * rings
    points = [(0.0, 0.0, 1.0)]
    for k in range(1, rings):
        theta = math.pi * k / rings
        st, ct = math.sin(theta), math.cos(theta)
        for j in range(segments):
            phi = 2.0 * math.pi * j / segments
            points.append((st * math.cos(phi), st * math.sin(phi), ct))
    south = len(points)
    points.append((0.0, 0.0, -1.0))

    def at(k, j):
        return 1 + (k - 1) * segments + j % segments

    strips = [[0, at(1, j), at(1, j + 1)] for j in range(segments)]
    for k in range(1, rings - 1):
        strip = []
        for j in range(segments + 1):
            strip.append(at(k, j))
            strip.append(at(k + 1, j))
        strips.append(strip)
    strips += [[south, at(rings - 1, j + 1), at(rings - 1, j)] for j in range(segments)]
    return points, strips


def cubesphere(triangles):
    # 6 faces of n x n quads, two triangles each.
    n = max(2, round(math.sqrt(triangles / 12.0)))
    points, index = [], {}

    def vertex(a, b, c):
        key = (a, b, c)
        if key not in index:
            # Equal-angle warp keeps the cells of similar size.
            x, y, z = (math.tan(math.pi / 4 * t / n) for t in (a, b, c))
            r = math.sqrt(x * x + y * y + z * z)
            index[key] = len(points)
            points.append((x / r, y / r, z / r))
        return index[key]

    # Each face: outward axis N and in-face axes U, V with U x V = N.
    faces = [((1, 0, 0), (0, 1, 0), (0, 0, 1)), ((-1, 0, 0), (0, 0, 1), (0, 1, 0)),
             ((0, 1, 0), (0, 0, 1), (1, 0, 0)), ((0, -1, 0), (1, 0, 0), (0, 0, 1)),
             ((0, 0, 1), (1, 0, 0), (0, 1, 0)), ((0, 0, -1), (0, 1, 0), (1, 0, 0))]
    strips = []
    for N, U, V in faces:
        def grid(s, t):
            return vertex(*(n * N[k] + (2 * s - n) * U[k] + (2 * t - n) * V[k] for k in range(3)))
        for t in range(n):
            strip = []
            for i in range(n + 1):
                strip.append(grid(i, t + 1))
                strip.append(grid(i, t))
            strips.append(strip)
    return points, strips


def write(path, points, strips):
    count = sum(len(s) - 2 for s in strips)
    with open(path, "w") as f:
        f.write("#Inventor V2.1 ascii\n\n")
        f.write("# %d vertices, %d triangles in %d strips.\n\n" % (len(points), count, len(strips)))
        f.write("Separator {\n  Coordinate3 {\n    point [\n")
        f.write(",\n".join("      %.7g %.7g %.7g" % (x + 0.0, y + 0.0, z + 0.0) for x, y, z in points))
        f.write("\n    ]\n  }\n  IndexedTriangleStripSet {\n    coordIndex [\n")
        f.write(",\n".join("      " + ", ".join(map(str, s)) + ", -1" for s in strips))
        f.write("\n    ]\n  }\n}\n")
    print("%s: %d triangles" % (path, count))


def main():
    shapes = {"torus": torus, "sphere": sphere, "cubesphere": cubesphere}
    if len(sys.argv) != 4 or sys.argv[1] not in shapes or not sys.argv[2].isdigit():
        print("usage: make_big_models.py torus|sphere|cubesphere TRIANGLES FILE.iv")
        return 2
    shape = shapes[sys.argv[1]]
    write(sys.argv[3], *shape(int(sys.argv[2])))
    return 0


if __name__ == "__main__":
    sys.exit(main())
