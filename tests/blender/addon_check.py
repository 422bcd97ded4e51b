"""The Blender add-on in Blender, against the batch tool's own glb and --json of each model.

Run by addon_check.sh inside Blender (in a window, under Xvfb, so that undo works):
  blender --factory-startup --python addon_check.py -- ADDON.zip BATCH MODELS_DIR
Installs and enables the add-on from its zip, imports the sample, a hostile model of each kind,
a damaged model and several at once, and checks each collection: vertices, triangles, material
names and colours, collision bodies and every custom property; then a second import's names,
one undo, the error cases. Prints each fault; exits 1 when there is one.
"""

import json
import os
import struct
import subprocess
import sys
import tempfile

import bpy
import numpy

addon_zip, batch, models = sys.argv[sys.argv.index("--") + 1:]
faults = []


def fault(text):
    faults.append(text)
    print(f"FAIL: {text}", flush=True)


def reference(name):
    """What the batch tool writes and tells of a model: its glb's JSON and binary chunk, and
    its events."""
    with tempfile.TemporaryDirectory() as folder:
        os.symlink(os.path.join(models, name), os.path.join(folder, name))
        out = subprocess.run([batch, "--json", "--no-job", "--glb", name], cwd=folder,
                             capture_output=True, check=False).stdout
        events = [json.loads(line) for line in out.decode().splitlines()]
        glb_path = os.path.join(folder, name.split(".")[0] + ".glb")
        data = open(glb_path, "rb").read() if os.path.exists(glb_path) else b""
    if not data:
        return None, b"", events
    length = struct.unpack_from("<I", data, 12)[0]
    return json.loads(data[20:20 + length]), data[28 + length:], events


def expected_counts(gltf, binary):
    """Vertices and the triangles a face can be made of, in the glb's model mesh."""
    for node in gltf.get("nodes", []):
        if "mesh" in node and not node.get("extras", {}).get("collision"):
            primitives = gltf["meshes"][node["mesh"]]["primitives"]
            vertices = gltf["accessors"][primitives[0]["attributes"]["POSITION"]]["count"]
            triangles = 0
            for primitive in (p for p in primitives if "indices" in p):  # points have none
                accessor = gltf["accessors"][primitive["indices"]]
                view = gltf["bufferViews"][accessor["bufferView"]]
                kind = {5123: "<u2", 5125: "<u4"}[accessor["componentType"]]
                index = numpy.frombuffer(binary, kind, accessor["count"], view.get("byteOffset", 0)).reshape(-1, 3)
                triangles += int(((index[:, 0] != index[:, 1]) & (index[:, 1] != index[:, 2]) & (index[:, 0] != index[:, 2])).sum())
            return vertices, triangles
    return 0, 0


def check_import(name, collection):
    gltf, binary, events = reference(name)
    where = f"{name} ({collection.name})"
    header = next(e for e in events if e["event"] == "header")
    if collection.get("header_text") != header["text"] or collection.get("header_hex") != header["hex"]:
        fault(f"{where}: header properties")
    if collection.get("model_unpack_path") != os.path.join(models, name):
        fault(f"{where}: path {collection.get('model_unpack_path')}")
    blocks = [e for e in events if e["event"] == "block"]
    directory = [dict(entry) for entry in collection.get("directory", [])]
    told = [(b["index"], b["name"], b["offset"], -1 if b["count"] is None else b["count"], b["known"]) for b in blocks]
    held = [(d["index"], d["name"], d["offset"], d["count"], bool(d["known"])) for d in directory]
    if told != held:
        fault(f"{where}: directory differs from the tool's ({len(held)} of {len(told)} entries)")
    mesh_event = next((e for e in events if e["event"] == "mesh"), {"bodies": 0})
    model = [o for o in collection.objects if o.type == "MESH"]
    vertices, triangles = expected_counts(gltf, binary) if gltf else (0, 0)
    if vertices == 0 and model:
        fault(f"{where}: a mesh for a model with no vertices")
    if vertices:
        mesh = model[0].data
        if (len(mesh.vertices), len(mesh.polygons)) != (vertices, triangles):
            fault(f"{where}: {len(mesh.vertices)} vertices, {len(mesh.polygons)} faces, not {vertices}, {triangles}")
        names = [slot.material.name.split(".")[0] if slot.material.name[-4:-3] == "." else slot.material.name
                 for slot in model[0].material_slots]
        wanted = [m["name"] for m in gltf.get("materials", [])]
        colours = [list(slot.material.diffuse_color) for slot in model[0].material_slots]
        if names != wanted or any(abs(a - b) > 1e-6 for c, m in zip(colours, gltf.get("materials", []))
                                  for a, b in zip(c, m["pbrMetallicRoughness"]["baseColorFactor"])):
            fault(f"{where}: materials {names}, not {wanted}")
    bodies = next((c for c in collection.children if c.name.startswith("collision bodies")), None)
    count = len(bodies.objects) if bodies else 0
    if count != mesh_event["bodies"]:
        fault(f"{where}: {count} collision bodies, not {mesh_event['bodies']}")
    if bodies and any(not o.hide_render for o in bodies.objects):
        fault(f"{where}: a collision body is rendered")


def call(**arguments):
    """The import's result; an error it reported raises, as Blender does for a script."""
    try:
        return bpy.ops.import_scene.zmdl(**arguments)
    except RuntimeError as error:
        print(f"reported: {error}", flush=True)
        return {"CANCELLED"} if "Error" in str(error) else {"RAISED"}


def collections():
    return {c.name for c in bpy.data.collections}


def run():
    bpy.ops.preferences.addon_install(filepath=addon_zip)
    bpy.ops.preferences.addon_enable(module="model_unpack_zmdl")
    window = bpy.context.window_manager.windows[0]
    area = next(a for a in window.screen.areas if a.type == "VIEW_3D")
    with bpy.context.temp_override(window=window, screen=window.screen, area=area):
        bpy.ops.ed.undo_push(message="before the imports")
        for name in ["sample.zmdl", "bodies.zmdl", "materials.zmdl", "repeated.zmdl", "names.zmdl",
                     "directory.zmdl", "cut.zmdl"]:
            before = collections()
            result = bpy.ops.import_scene.zmdl(filepath=os.path.join(models, name))
            made = [bpy.data.collections[n] for n in collections() - before
                    if not n.startswith("collision bodies")]
            if result != {"FINISHED"} or len(made) != 1:
                fault(f"{name}: {result}, {len(made)} collections")
                continue
            check_import(name, made[0])
        # Several at once; the same model again gets Blender's usual names.
        before = collections()
        result = bpy.ops.import_scene.zmdl(directory=models, files=[{"name": "sample.zmdl"}, {"name": "cut.zmdl"}])
        made = sorted(n for n in collections() - before if not n.startswith("collision bodies"))
        if result != {"FINISHED"} or made != ["cut.001", "sample.001"]:
            fault(f"several at once: {result}, {made}")
        else:
            check_import("sample.zmdl", bpy.data.collections["sample.001"])
        # One undo takes back a whole import and nothing else (in the interface, the step
        # before it is the last thing done; a script pushes it).
        before = collections()
        bpy.ops.ed.undo_push(message="before the last import")
        bpy.ops.import_scene.zmdl("EXEC_DEFAULT", True, filepath=os.path.join(models, "sample.zmdl"))
        bpy.ops.ed.undo()
        if collections() != before:
            fault(f"undo: {sorted(collections() ^ before)} differ")
        # What cannot be imported is cancelled, with the tool's line in the report.
        if call(filepath=os.path.join(models, "absent.zmdl")) != {"CANCELLED"}:
            fault("an absent model was not cancelled")
        preferences = bpy.context.preferences.addons["model_unpack_zmdl"].preferences
        preferences.executable = os.path.join(models, "no-such-tool")
        if call(filepath=os.path.join(models, "sample.zmdl")) != {"CANCELLED"}:
            fault("a missing executable was not cancelled")
        preferences.executable = batch  # a tool named in the preferences is the one run
        if bpy.ops.import_scene.zmdl(filepath=os.path.join(models, "sample.zmdl")) != {"FINISHED"}:
            fault("the tool named in the preferences was not run")


def start():
    try:
        run()
    except Exception as error:  # any fault ends the check, never hangs Blender
        fault(f"{type(error).__name__}: {error}")
    print(f"{len(faults)} faults", flush=True)
    os._exit(1 if faults else 0)


bpy.app.timers.register(start, first_interval=0.5)
