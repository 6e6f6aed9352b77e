#!/usr/bin/python3
"""Reprojects every point of a scene JSON with the camera model it carries and
compares it with the screen position the point was built for; given the .glb
too, does the same through the glTF camera, as a viewer would, and checks that
every triangle faces that camera."""
import json
import math
import struct
import sys


def sub(a, b):
    return [a[i] - b[i] for i in range(3)]


def dot(a, b):
    return sum(a[i] * b[i] for i in range(3))


def main(scene_path, expected_path):
    scene = json.load(open(scene_path))
    expected = json.load(open(expected_path))
    camera = scene["camera"]
    eye, right, up, forward = camera["eye"], camera["right"], camera["up"], camera["forward"]
    fx, fy = camera["focalLengthPixels"]["x"], camera["focalLengthPixels"]["y"]
    cx, cy = camera["frameCentre"]["x"], camera["frameCentre"]["y"]
    layers = scene["layers"]
    if len(layers) != len(expected["layers"]):
        print(f"{len(layers)} layers, expected {len(expected['layers'])}")
        return 1
    failures = 0
    checked = 0
    for layer, wanted in zip(layers, expected["layers"]):
        if len(layer["points"]) != len(wanted):
            print(f"layer {layer['name']}: {len(layer['points'])} points, expected {len(wanted)}")
            failures += 1
            continue
        for index, (point, target) in enumerate(zip(layer["points"], wanted)):
            v = sub(point, eye)
            depth = dot(v, forward)
            x = cx + fx * dot(v, right) / depth
            y = cy - fy * dot(v, up) / depth
            # Points are kept as 32-bit floats: allow their rounding.
            errors = [abs(x - target["x"]), abs(y - target["y"])]
            if "depth" in target:
                errors.append(abs(depth - target["depth"]))
            else:
                errors.append(abs(math.sqrt(dot(v, v)) - target["distance"]))
            checked += 1
            if max(errors) > 1e-3:
                print(f"layer {layer['name']} point {index}: at ({x:.6f}, {y:.6f}), built for "
                      f"({target['x']:.6f}, {target['y']:.6f}); errors {errors}")
                failures += 1
    print(f"{checked} points reprojected, {failures} off")
    return 1 if failures or checked == 0 else 0


def rotate(q, v):
    x, y, z, w = q
    # v' = v + 2w (q x v) + 2 q x (q x v)
    qv = [y * v[2] - z * v[1], z * v[0] - x * v[2], x * v[1] - y * v[0]]
    qqv = [y * qv[2] - z * qv[1], z * qv[0] - x * qv[2], x * qv[1] - y * qv[0]]
    return [v[i] + 2 * w * qv[i] + 2 * qqv[i] for i in range(3)]


def check_gltf(glb_path, scene_path, expected_path):
    data = open(glb_path, "rb").read()
    json_length = struct.unpack_from("<I", data, 12)[0]
    doc = json.loads(data[20:20 + json_length])
    binary = data[20 + json_length + 8:]
    placement = json.load(open(scene_path))["camera"]["framePlacement"]
    expected = json.load(open(expected_path))["layers"]
    camera_node = next(n for n in doc["nodes"] if "camera" in n)
    perspective = doc["cameras"][camera_node["camera"]]["perspective"]
    t = camera_node["translation"]
    q = camera_node["rotation"]
    inverse = [-q[0], -q[1], -q[2], q[3]]
    tan_y = math.tan(perspective["yfov"] / 2)
    tan_x = tan_y * perspective["aspectRatio"]

    def read(accessor_index, width, fmt):
        accessor = doc["accessors"][accessor_index]
        view = doc["bufferViews"][accessor["bufferView"]]
        count = accessor["count"] * width
        return struct.unpack_from("<%d%s" % (count, fmt), binary, view["byteOffset"])

    def to_screen(p):
        c = rotate(inverse, [p[i] - t[i] for i in range(3)])
        nx, ny = c[0] / -c[2] / tan_x, c[1] / -c[2] / tan_y
        return (placement["x"] + (nx + 1) / 2 * placement["width"],
                placement["y"] + (1 - ny) / 2 * placement["height"])

    failures = checked = 0
    mesh_nodes = [n for n in doc["nodes"] if "mesh" in n]
    for node, wanted in zip(mesh_nodes, expected):
        for primitive in doc["meshes"][node["mesh"]]["primitives"]:
            flat = read(primitive["attributes"]["POSITION"], 3, "f")
            points = [flat[i:i + 3] for i in range(0, len(flat), 3)]
            screens = [to_screen(p) for p in points]
            for index, (s, target) in enumerate(zip(screens, wanted)):
                checked += 1
                if max(abs(s[0] - target["x"]), abs(s[1] - target["y"])) > 1e-2:
                    print(f"glTF node {node['name']} point {index}: at {s}, built for ({target['x']}, {target['y']})")
                    failures += 1
            if "indices" in primitive:
                indices = read(primitive["indices"], 1, "I")
                for k in range(0, len(indices), 3):
                    a, b, c = (screens[i] for i in indices[k:k + 3])
                    # Screen y runs down: a front face runs clockwise here.
                    area = (b[0] - a[0]) * (c[1] - a[1]) - (b[1] - a[1]) * (c[0] - a[0])
                    if area >= 0:
                        print(f"glTF node {node['name']}: triangle {k // 3} faces away from the camera")
                        failures += 1
    print(f"{checked} glTF points reprojected through the glTF camera, {failures} faults")
    return 1 if failures or checked == 0 else 0


if __name__ == "__main__":
    result = main(sys.argv[1], sys.argv[2])
    if len(sys.argv) > 3:
        result |= check_gltf(sys.argv[3], sys.argv[1], sys.argv[2])
    sys.exit(result)
