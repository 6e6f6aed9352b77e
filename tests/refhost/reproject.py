#!/usr/bin/python3
"""Reprojects every point of a scene JSON with the camera model it carries and
compares it with the screen position the point was built for."""
import json
import math
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


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
